#include "ui/CChgDevIdDlg.h"

#include "ui/CEditDexHex.h"
#include "ui/UiDialog.h"
#include "ui/UiText.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace korvex {

CChgDevIdDlg::CChgDevIdDlg(const std::string& id, std::uint8_t addr, bool hex, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Изменить ID и адрес устройства"));
    m_pId = new QLineEdit(Qs(id), this);
    m_pId->setToolTip(QStringLiteral("По идентификатору к устройству обращаются скрипты"));
    m_pAddr = new CEditDexHex(hex, this);
    m_pAddr->SetNumber(addr);
    m_pAddr->SetRange(1, 255);
    m_pAddr->setToolTip(QStringLiteral("Адрес устройства на линии RS-485, от 1 до 255"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Идентификатор:"), m_pId);
    form->addRow(QStringLiteral("Адрес:"), m_pAddr);
    QDialogButtonBox* buttons = OkCancelButtons(this);
    // Wide enough for the title; no resizing, like the other small dialogs.
    m_pId->setMinimumWidth(fontMetrics().averageCharWidth() * 32);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

std::string CChgDevIdDlg::GetId() const
{
    return Ss(m_pId->text());
}

std::uint8_t CChgDevIdDlg::GetAddr() const
{
    return static_cast<std::uint8_t>(m_pAddr->GetNumber() & 0xFF);
}

} // namespace korvex
