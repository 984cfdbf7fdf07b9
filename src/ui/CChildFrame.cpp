#include "ui/CChildFrame.h"

#include "core/CDocument.h"
#include "ui/UiText.h"

#include <QCloseEvent>
#include <QMdiArea>

namespace korvex {

CChildFrame::CChildFrame(CDocument& doc, int& childState, std::function<void()> save,
                         QWidget* parent)
    : QMdiSubWindow(parent), m_doc(doc), m_nChildState(childState), m_fnSave(std::move(save))
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    UpdateTitle();
}

void CChildFrame::UpdateTitle()
{
    setWindowTitle(Qs(m_doc.GetTitle()) + QStringLiteral("[*]"));
    setWindowModified(m_doc.IsModified());
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
    setFocus();
    m_bShowing = false;
}

void CChildFrame::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
    if (QMdiArea* area = mdiArea()) {
        for (QMdiSubWindow* other : area->subWindowList(QMdiArea::ActivationHistoryOrder)) {
            if (other != this && other->isVisible()) {
                area->setActiveSubWindow(other);
                break;
            }
        }
    }
}

void CChildFrame::changeEvent(QEvent* event)
{
    QMdiSubWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || m_bShowing || !isVisible())
        return;
    const int state = isMaximized() ? 1 : 0;
    if (isMinimized() || state == m_nChildState)
        return;
    m_nChildState = state;
    if (m_fnSave)
        m_fnSave();
}

} // namespace korvex
