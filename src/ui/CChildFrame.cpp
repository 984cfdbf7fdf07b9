#include "ui/CChildFrame.h"

#include "core/CDocument.h"
#include "ui/UiText.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMenu>
#include <QMouseEvent>

namespace korvex {

CChildFrame::CChildFrame(CDocument& doc, int& childState, std::function<void()> save,
                         QWidget* parent)
    : QMdiSubWindow(parent), m_doc(doc), m_nChildState(childState), m_fnSave(std::move(save))
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    UpdateTitle();
    if (QMenu* menu = systemMenu()) {
        connect(menu, &QMenu::aboutToShow, this, [this] { m_bMenuWasMaximized = isMaximized(); });
        connect(menu, &QMenu::triggered, this, [this] { UserChangedState(m_bMenuWasMaximized); });
    }
}

void CChildFrame::UpdateTitle()
{
    setWindowTitle(Qs(m_doc.GetTitle()) + QStringLiteral("[*]"));
    setWindowModified(m_doc.IsModified());
}

void CChildFrame::ShowAndActivate()
{
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

void CChildFrame::UserChangedState(bool wasMaximized)
{
    if (isMinimized() || isMaximized() == wasMaximized)
        return;
    m_nChildState = isMaximized() ? 1 : 0;
    if (m_fnSave)
        m_fnSave();
}

void CChildFrame::mouseReleaseEvent(QMouseEvent* event)
{
    const bool wasMaximized = isMaximized();
    QMdiSubWindow::mouseReleaseEvent(event);
    UserChangedState(wasMaximized);
}

void CChildFrame::mouseDoubleClickEvent(QMouseEvent* event)
{
    const bool wasMaximized = isMaximized();
    QMdiSubWindow::mouseDoubleClickEvent(event);
    UserChangedState(wasMaximized);
}

} // namespace korvex
