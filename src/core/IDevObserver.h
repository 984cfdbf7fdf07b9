#pragma once

#include <vector>

namespace korvex {

class CDevItem;

// A window over a device's cells (the device view), told on the
// user-interface thread.
class IDevObserver
{
public:
    virtual ~IDevObserver() = default;
    // A cell got its row, or its row's fields changed (added or edited).
    virtual void OnItemShown(CDevItem* item) = 0;
    // The cell is about to be destroyed.
    virtual void OnItemRemoved(CDevItem* item) = 0;
    // Values set since the last announcement, each cell once however often
    // it was set (see CCellNotifier).
    virtual void OnValuesChanged(const std::vector<CDevItem*>& items) = 0;
};

} // namespace korvex
