#pragma once

#include <QMdiSubWindow>

#include <functional>

namespace korvex {

class CDocument;

// The window of one device or script inside the main window. Its close box
// hides it and activates the next window; the document stays open.
// Maximising it sets CHILDSTATE, restoring clears it, both saved at once;
// shown while CHILDSTATE is set, it opens maximised. User-interface thread.
class CChildFrame final : public QMdiSubWindow
{
public:
    // childState is the settings' CHILDSTATE; save writes the settings.
    CChildFrame(CDocument& doc, int& childState, std::function<void()> save,
                QWidget* parent = nullptr);

    CDocument& GetDocument() const { return m_doc; }
    // Shows the frame (maximised while CHILDSTATE is set) and activates it.
    void ShowAndActivate();
    // The window's title from the document's.
    void UpdateTitle();

    // A maximise or restore by the user (the title bar's buttons, a double
    // click on it, the window menu): CHILDSTATE follows, saved at once. The
    // area's own changes (it restores the window it leaves) do not count.
    void UserChangedState(bool wasMaximized);

protected:
    void closeEvent(QCloseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    CDocument& m_doc;
    int& m_nChildState;
    std::function<void()> m_fnSave;
    bool m_bMenuWasMaximized{ false };
};

} // namespace korvex
