#include "ui/CTypedValueDlg.h"

#include "core/CDevDoc.h"
#include "core/Text.h"
#include "core/ValueType.h"
#include "ui/UiDialog.h"
#include "ui/UiText.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

#include <vector>

namespace korvex {

CTypedValueDlg::CTypedValueDlg(CDevDoc& device, std::int32_t type, std::uint16_t addr,
                               bool boundsEditable, QWidget* parent)
    : QDialog(parent), m_device(device), m_nType(type), m_wAddr(addr)
{
    setWindowTitle(QStringLiteral("Значение"));
    const SCellView view = device.GetCellView(type, addr);
    const std::int32_t count = RegisterCount(view.type);
    QString cell = QStringLiteral("%1 %2").arg(QLatin1String(CellTypeName(type)),
                                               Qs(FormatNumber(addr, true, -1)));
    if (count > 1)
        cell += QStringLiteral("-") +
                Qs(FormatNumber(static_cast<std::uint16_t>(addr + count - 1), true, -1));
    if (const CDevItem* item = device.FindItem(type, addr))
        cell += QStringLiteral(" (%1) %2").arg(Qs(item->GetId()), Qs(item->GetDesc()));

    m_pValue = new QLineEdit(Qs(device.GetTypedValue(type, addr)), this);
    m_pValue->setToolTip(IsTextType(view.type)
                             ? QStringLiteral("Текст: два символа на регистр, \\xNN - любой байт")
                             : QStringLiteral("Число типа %1; целые также 0x... в "
                                              "шестнадцатеричном виде")
                                   .arg(Qs(FormatValueType(view.type))));
    m_pMin = new QLineEdit(Qs(view.strMin), this);
    m_pMax = new QLineEdit(Qs(view.strMax), this);
    for (QLineEdit* bound : { m_pMin, m_pMax }) {
        bound->setPlaceholderText(QStringLiteral("весь диапазон типа"));
        bound->setToolTip(QStringLiteral(
            "Граница значения в этом типе; пусто - весь диапазон типа. Каждый регистр "
            "остаётся и в своих границах"));
        bound->setEnabled(boundsEditable && !IsTextType(view.type));
    }
    m_pValue->setMinimumWidth(fontMetrics().averageCharWidth() * 32);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Ячейки:"), new QLabel(cell, this));
    form->addRow(QStringLiteral("Тип:"), new QLabel(Qs(FormatValueType(view.type)), this));
    form->addRow(QStringLiteral("&Значение:"), m_pValue);
    form->addRow(QStringLiteral("&Минимум:"), m_pMin);
    form->addRow(QStringLiteral("Ма&ксимум:"), m_pMax);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(form);
    layout->addWidget(OkCancelButtons(this));
    m_pValue->selectAll();
    m_pValue->setFocus();
}

QString CTypedValueDlg::CheckBounds(std::string& min, std::string& max) const
{
    const SValueType type = m_device.GetCellView(m_nType, m_wAddr).type;
    std::vector<std::uint16_t> low(static_cast<std::size_t>(RegisterCount(type)));
    std::vector<std::uint16_t> high(low.size());
    min = m_pMin->text().trimmed().toStdString();
    max = m_pMax->text().trimmed().toStdString();
    if (!min.empty())
        if (const std::string e = EncodeValue(type, min, low); !e.empty())
            return QStringLiteral("Минимум: ") + Qs(e);
    if (!max.empty())
        if (const std::string e = EncodeValue(type, max, high); !e.empty())
            return QStringLiteral("Максимум: ") + Qs(e);
    if (!min.empty() && !max.empty() && !(CompareValues(type, low, high) <= 0))
        return QStringLiteral("Минимум больше максимума");
    return QString();
}

void CTypedValueDlg::accept()
{
    std::string min;
    std::string max;
    m_strLastMessage = m_pMin->isEnabled() ? CheckBounds(min, max) : QString();
    if (m_strLastMessage.isEmpty() && m_pMin->isEnabled()) {
        SCellView view = m_device.GetCellView(m_nType, m_wAddr);
        if (view.strMin != min || view.strMax != max) {
            view.strMin = min;
            view.strMax = max;
            m_device.SetCellView(m_nType, m_wAddr, view);
        }
    }
    if (m_strLastMessage.isEmpty())
        m_strLastMessage =
            Qs(m_device.SetTypedValue(m_nType, m_wAddr, m_pValue->text().toStdString()));
    if (!m_strLastMessage.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Ошибка"), m_strLastMessage);
        return;
    }
    QDialog::accept();
}

} // namespace korvex
