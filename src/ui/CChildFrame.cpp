#include "ui/CChildFrame.h"

#include "core/CDocument.h"
#include "ui/UiText.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QTimer>

namespace korvex {

CChildFrame::CChildFrame(CDocument& doc, int& childState, std::function<void()> save,
                         QWidget* parent)
    : QMdiSubWindow(parent), m_doc(doc), m_nChildState(childState), m_fnSave(std::move(save))
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    UpdateTitle();
}

QString CChildFrame::GetDocTitle() const
{
    return Qs(m_doc.GetTitle());
}

void CChildFrame::UpdateTitle()
{
    setWindowTitle(GetDocTitle() + (m_doc.IsModified() ? QStringLiteral("*") : QString()));
}

void CChildFrame::ShowAndActivate()
{
    m_bShowing = true;
    if (m_nChildState != 0)
        showMaximized();
    else if (isMaximized())
        showNormal();
    else
        show();
    if (QMdiArea* area = mdiArea())
        area->setActiveSubWindow(this);
    if (widget() != nullptr)
        widget()->setFocus();
    m_bShowing = false;
}

void CChildFrame::closeEvent(QCloseEvent* event)
{
    event->ignore();
    const bool maximized = isMaximized();
    hide();
    if (QMdiArea* area = mdiArea()) {
        for (QMdiSubWindow* other : area->subWindowList(QMdiArea::ActivationHistoryOrder)) {
            if (other != this && other->isVisible()) {
                area->setActiveSubWindow(other);
                // The next window takes over the maximised state, as the
                // area does when it moves from one window to another.
                if (maximized)
                    other->showMaximized();
                break;
            }
        }
    }
}

void CChildFrame::changeEvent(QEvent* event)
{
    QMdiSubWindow::changeEvent(event);
    // The area moves maximisation from one window to the next in several
    // steps: the state is read once they are done.
    if (event->type() == QEvent::WindowStateChange && !m_bShowing)
        QTimer::singleShot(0, this, &CChildFrame::FollowActiveState);
}

void CChildFrame::FollowActiveState()
{
    QMdiArea* area = mdiArea();
    const QMdiSubWindow* active = area != nullptr ? area->activeSubWindow() : nullptr;
    if (active == nullptr || !active->isVisible() || active->isMinimized())
        return;
    const int state = active->isMaximized() ? 1 : 0;
    if (state == m_nChildState)
        return;
    m_nChildState = state;
    if (m_fnSave)
        m_fnSave();
}

} // namespace korvex
