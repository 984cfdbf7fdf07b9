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
    // The window's title from the document's: its name, and "*" while it is
    // modified. The mark is part of the title, not Qt's modified flag: a
    // maximised window would hand that flag to the main window.
    void UpdateTitle();
    // The document's name without the mark.
    QString GetDocTitle() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // After a maximise or restore, whoever made it (the title bar's buttons,
    // the buttons the menu bar carries for a maximised window, the window
    // menu, the keyboard): CHILDSTATE follows the active window, saved at
    // once. The area's own moves (it restores the window it leaves and
    // maximises the one it activates) leave the active window as it was.
    void FollowActiveState();

    CDocument& m_doc;
    int& m_nChildState;
    std::function<void()> m_fnSave;
    bool m_bShowing{ false }; // ShowAndActivate applies CHILDSTATE
};

} // namespace korvex
