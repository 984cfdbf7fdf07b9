#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

namespace korvex {

class CDevDoc;
class CDevItem;
class IUiPoster;

// Announces changed cell values on the user-interface thread. A value set
// on any thread only marks its cell; one posted task then tells every
// device's observers, and every open graph, of all cells marked since the
// last announcement. A cell set 10,000 times between two turns of the event
// loop is announced once, and a fast master cannot flood the loop.
//
// The marks hold cell pointers; a cell or device that goes (on the UI
// thread, before the task runs) is forgotten first, so nothing dangles.
//
// Threads: MarkChanged from any thread; everything else on the UI thread.
// m_cs guards m_arChanged, the cells' marks and m_bPosted; it is taken under
// a cell's lock and takes no other lock.
class CCellNotifier
{
public:
    void SetPoster(IUiPoster* poster) { m_pPoster = poster; }

    void MarkChanged(CDevItem* item);
    void Forget(const CDevItem* item);
    void ForgetDevice(const CDevDoc* device);

private:
    void Announce();

    IUiPoster* m_pPoster{ nullptr };
    mutable std::mutex m_cs;
    std::vector<CDevItem*> m_arChanged;
    bool m_bPosted{ false };
};

} // namespace korvex
