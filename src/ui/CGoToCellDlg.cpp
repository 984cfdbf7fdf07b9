#include "ui/CGoToCellDlg.h"

#include "core/CDevDoc.h"
#include "core/Text.h"
#include "ui/CEditDexHex.h"
#include "ui/UiDialog.h"
#include "ui/UiText.h"

#include <QComboBox>
#include <QFormLayout>
#include <QMessageBox>
#include <QVBoxLayout>

namespace korvex {

CGoToCellDlg::CGoToCellDlg(const CDevDoc& device, bool hex, QWidget* parent)
    : QDialog(parent), m_device(device)
{
    setWindowTitle(QStringLiteral("Перейти к адресу"));
    m_pType = new QComboBox(this);
    m_pType->addItems({ QStringLiteral("COIL"), QStringLiteral("DISCRETE INPUT"),
                        QStringLiteral("HOLDING REGISTER"), QStringLiteral("INPUT REGISTER") });
    m_pType->setCurrentIndex(HREG);
    m_pAddr = new CEditDexHex(hex, this);
    m_pAddr->setToolTip(QStringLiteral("Адрес ячейки в терминах MODBUS"));
    // Wide enough for the title.
    m_pType->setMinimumWidth(fontMetrics().averageCharWidth() * 28);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Тип:"), m_pType);
    form->addRow(QStringLiteral("Адрес:"), m_pAddr);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(form);
    layout->addWidget(OkCancelButtons(this));
    m_pAddr->setFocus();
}

void CGoToCellDlg::accept()
{
    m_strLastMessage = m_pAddr->GetOverflowMessage();
    const int type = m_pType->currentIndex();
    const std::uint16_t addr = m_pAddr->GetNumber();
    if (m_strLastMessage.isEmpty()) {
        m_pItem = m_device.FindItem(type, addr);
        if (m_pItem == nullptr || m_pItem->GetRow() == 0)
            m_strLastMessage =
                QStringLiteral("Ячейки %1 с адресом %2 в устройстве нет!")
                    .arg(QLatin1String(CellTypeName(type)), Qs(FormatNumber(addr, true, -1)));
    }
    if (!m_strLastMessage.isEmpty()) {
        m_pItem = nullptr;
        QMessageBox::warning(this, QStringLiteral("Ошибка"), m_strLastMessage);
        return;
    }
    QDialog::accept();
}

} // namespace korvex
