#include "ui/CCellRangeDlg.h"

#include "ui/CEditDexHex.h"
#include "ui/UiDialog.h"
#include "ui/UiText.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QVBoxLayout>

namespace korvex {

CCellRangeDlg::CCellRangeDlg(CDevDoc& device, bool hex, QWidget* parent)
    : QDialog(parent), m_device(device)
{
    setWindowTitle(QStringLiteral("Добавить диапазон ячеек"));
    m_pType = new QComboBox(this);
    m_pType->addItems({ QStringLiteral("COIL"), QStringLiteral("DISCRETE INPUT"),
                        QStringLiteral("HOLDING REGISTER"), QStringLiteral("INPUT REGISTER") });
    m_pFirst = new CEditDexHex(hex, this);
    m_pCount = new QSpinBox(this);
    m_pCount->setRange(1, 0x10000);
    m_pCount->setValue(10);
    m_pPrefix = new QLineEdit(this);
    m_pMin = new CEditDexHex(hex, this);
    m_pMax = new CEditDexHex(hex, this);
    m_pValue = new CEditDexHex(hex, this);
    m_pFirst->setToolTip(QStringLiteral("Адрес первой ячейки в терминах MODBUS"));
    m_pCount->setToolTip(QStringLiteral("Сколько ячеек подряд добавить"));
    m_pPrefix->setToolTip(
        QStringLiteral("Идентификатор ячейки - префикс и десятичный адрес, например HR100"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Тип:"), m_pType);
    form->addRow(QStringLiteral("Первый адрес:"), m_pFirst);
    form->addRow(QStringLiteral("Количество:"), m_pCount);
    form->addRow(QStringLiteral("Префикс идентификатора:"), m_pPrefix);
    form->addRow(QStringLiteral("Нижняя граница:"), m_pMin);
    form->addRow(QStringLiteral("Верхняя граница:"), m_pMax);
    form->addRow(QStringLiteral("Значение:"), m_pValue);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(form);
    layout->addWidget(OkCancelButtons(this));

    connect(m_pType, &QComboBox::currentIndexChanged, this, &CCellRangeDlg::OnTypeChanged);
    m_pType->setCurrentIndex(HREG);
    OnTypeChanged(HREG);
}

QString CCellRangeDlg::DefaultPrefix(int type)
{
    static const char* const prefixes[] = { "CO", "DI", "HR", "IR" };
    return type >= COIL && type <= IREG ? QLatin1String(prefixes[type]) : QString();
}

void CCellRangeDlg::OnTypeChanged(int type)
{
    // A prefix the user did not change follows the kind.
    const QString prefix = m_pPrefix->text();
    bool standard = prefix.isEmpty();
    for (int t = COIL; t <= IREG; ++t)
        standard = standard || prefix == DefaultPrefix(t);
    if (standard)
        m_pPrefix->setText(DefaultPrefix(type));
    // Coils and inputs hold 0 or 1.
    const bool bits = type == COIL || type == DINP;
    m_pMin->SetNumber(0);
    m_pMax->SetNumber(bits ? 1 : 0xFFFF);
    m_pMin->setEnabled(!bits);
    m_pMax->setEnabled(!bits);
    m_pValue->SetRange(0, bits ? 1 : 0xFFFF);
}

void CCellRangeDlg::SetRange(const SCellRange& r)
{
    m_pType->setCurrentIndex(r.nType);
    m_pFirst->SetNumber(r.wFirst);
    m_pCount->setValue(r.nCount);
    m_pPrefix->setText(Qs(r.strPrefix));
    m_pMin->SetNumber(r.wMin);
    m_pMax->SetNumber(r.wMax);
    m_pValue->SetNumber(r.wValue);
}

SCellRange CCellRangeDlg::GetRange() const
{
    SCellRange r;
    r.nType = m_pType->currentIndex();
    r.wFirst = m_pFirst->GetNumber();
    r.nCount = m_pCount->value();
    r.strPrefix = Ss(m_pPrefix->text().trimmed());
    r.wMin = m_pMin->GetNumber();
    r.wMax = m_pMax->GetNumber();
    r.wValue = m_pValue->GetNumber();
    return r;
}

void CCellRangeDlg::accept()
{
    m_strLastMessage.clear();
    for (CEditDexHex* edit : { m_pFirst, m_pMin, m_pMax, m_pValue })
        if (edit->isEnabled() && edit->IsOverflow())
            m_strLastMessage = edit->GetOverflowMessage();
    if (m_strLastMessage.isEmpty())
        m_strLastMessage = Qs(m_device.AddRange(GetRange()));
    if (!m_strLastMessage.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Ошибка"), m_strLastMessage);
        return;
    }
    QDialog::accept();
}

} // namespace korvex
