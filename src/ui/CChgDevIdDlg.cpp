#include "ui/CChgDevIdDlg.h"

#include "ui/CEditDexHex.h"
#include "ui/UiDialog.h"
#include "ui/UiText.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

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
    return static_cast<std::uint8_t>(std::min<std::uint16_t>(m_pAddr->GetNumber(), 0xFF));
}

void CChgDevIdDlg::accept()
{
    m_strLastMessage.clear();
    if (m_fnIdCheck) {
        if (const QString refusal = m_fnIdCheck(GetId()); !refusal.isEmpty()) {
            m_strLastMessage = refusal;
            QMessageBox::warning(this, QStringLiteral("Ошибка"), refusal);
            m_pId->setFocus();
            return;
        }
    }
    QString refusal = m_pAddr->GetOverflowMessage();
    if (refusal.isEmpty() && m_pAddr->GetNumber() > 0xFF)
        refusal = QStringLiteral("Адрес устройства должен быть от 1 до 255!");
    if (!refusal.isEmpty()) {
        m_strLastMessage = refusal;
        QMessageBox::warning(this, QStringLiteral("Ошибка"), refusal);
        m_pAddr->setFocus();
        return;
    }
    if (m_pAddr->GetNumber() == 0) {
        m_strLastMessage =
            QStringLiteral("Адрес 0 - широковещательный: на запросы по нему устройство никогда не "
                           "отвечает.\nОставить адрес 0?");
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Предупреждение"), m_strLastMessage,
                        QMessageBox::Yes | QMessageBox::No, this);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
        box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes) {
            m_pAddr->setFocus();
            return;
        }
    }
    QDialog::accept();
}

} // namespace korvex
