#include "ui/CFaultsDlg.h"

#include "ui/UiDialog.h"
#include "ui/UiText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

#include <utility>

namespace korvex {
namespace {

QSpinBox* Percent(int value, QWidget* parent)
{
    auto* spin = new QSpinBox(parent);
    spin->setRange(0, 100);
    spin->setSuffix(QStringLiteral(" %"));
    spin->setValue(value);
    return spin;
}

} // namespace

CFaultsDlg::CFaultsDlg(const std::string& deviceId, const SFaultRules& current, Apply apply,
                       QWidget* parent)
    : QDialog(parent), m_fnApply(std::move(apply))
{
    setWindowTitle(QStringLiteral("Неисправности устройства %1").arg(Qs(deviceId)));

    m_pOff = new QCheckBox(QStringLiteral("Устройство не отвечает"), this);
    m_pOff->setChecked(current.bOff);
    m_pDelay = new QLineEdit(this);
    m_pDelay->setPlaceholderText(QStringLiteral("нет"));
    m_pDelay->setToolTip(QStringLiteral("Задержка ответа в мс: число или диапазон «мин-макс»"));
    m_pDelay->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]*(-[0-9]*)?")), m_pDelay));
    if (current.delay)
        m_pDelay->setText(
            current.delay->dwMin == current.delay->dwMax
                ? QString::number(current.delay->dwMin)
                : QStringLiteral("%1-%2").arg(current.delay->dwMin).arg(current.delay->dwMax));
    m_pDrop = Percent(current.drop.value_or(0), this);
    m_pDrop->setToolTip(QStringLiteral("Доля запросов, оставленных без ответа"));
    m_pCrc = Percent(current.crc.value_or(0), this);
    m_pCrc->setToolTip(QStringLiteral("Доля ответов с неверной контрольной суммой"));
    m_pException = new QComboBox(this);
    m_pException->addItem(QStringLiteral("нет"), 0);
    // The exception codes the protocol defines (09 is unassigned).
    static const std::pair<int, const char*> codes[] = {
        { 0x01, "01 Illegal Function" },
        { 0x02, "02 Illegal Data Address" },
        { 0x03, "03 Illegal Data Value" },
        { 0x04, "04 Server Device Failure" },
        { 0x05, "05 Acknowledge" },
        { 0x06, "06 Server Device Busy" },
        { 0x07, "07 Negative Acknowledge" },
        { 0x08, "08 Memory Parity Error" },
        { 0x0A, "0A Gateway Path Unavailable" },
        { 0x0B, "0B Gateway Target Failed to Respond" },
    };
    for (const auto& [code, name] : codes)
        m_pException->addItem(QString::fromLatin1(name), code);
    m_pExceptionPercent = Percent(100, this);
    if (current.exception) {
        const int index = m_pException->findData(current.exception->byCode);
        if (index < 0)
            m_pException->addItem(
                QStringLiteral("%1").arg(current.exception->byCode, 2, 16, QLatin1Char('0')),
                current.exception->byCode);
        m_pException->setCurrentIndex(m_pException->findData(current.exception->byCode));
        m_pExceptionPercent->setValue(current.exception->nPercent);
    }
    m_pException->setToolTip(QStringLiteral("Исключение вместо ответа"));

    auto* exceptionRow = new QHBoxLayout;
    exceptionRow->addWidget(m_pException, 1);
    exceptionRow->addWidget(m_pExceptionPercent);
    auto* form = new QFormLayout;
    form->addRow(m_pOff);
    form->addRow(QStringLiteral("Задержка ответа, мс:"), m_pDelay);
    form->addRow(QStringLiteral("Потеря запросов:"), m_pDrop);
    form->addRow(QStringLiteral("Неверная CRC ответа:"), m_pCrc);
    form->addRow(QStringLiteral("Исключение:"), exceptionRow);
    m_pPreview = new QLabel(this);
    m_pPreview->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* note = new QLabel(
        QStringLiteral("Неисправности действуют до конца работы программы и не сохраняются."),
        this);
    note->setWordWrap(true);
    QDialogButtonBox* buttons = OkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_pPreview);
    layout->addWidget(note);
    layout->addWidget(buttons);

    connect(m_pOff, &QCheckBox::toggled, this, &CFaultsDlg::UpdatePreview);
    connect(m_pDelay, &QLineEdit::textChanged, this, &CFaultsDlg::UpdatePreview);
    for (QSpinBox* spin : { m_pDrop, m_pCrc, m_pExceptionPercent })
        connect(spin, &QSpinBox::valueChanged, this, &CFaultsDlg::UpdatePreview);
    connect(m_pException, &QComboBox::currentIndexChanged, this, &CFaultsDlg::UpdatePreview);
    UpdatePreview();
}

std::string CFaultsDlg::GetRuleText() const
{
    // A device that does not answer has no other faults.
    if (m_pOff->isChecked())
        return "off";
    QStringList rules;
    if (!m_pDelay->text().isEmpty())
        rules << QStringLiteral("delay=") + m_pDelay->text();
    if (m_pDrop->value() > 0)
        rules << QStringLiteral("drop=%1").arg(m_pDrop->value());
    if (m_pCrc->value() > 0)
        rules << QStringLiteral("crc=%1").arg(m_pCrc->value());
    if (const int code = m_pException->currentData().toInt(); code > 0) {
        const int percent = m_pExceptionPercent->value();
        rules << (percent == 100 ? QStringLiteral("exception=%1").arg(code)
                                 : QStringLiteral("exception=%1:%2").arg(code).arg(percent));
    }
    return Ss(rules.join(QLatin1Char(',')));
}

void CFaultsDlg::UpdatePreview()
{
    const std::string text = GetRuleText();
    m_pPreview->setText(text.empty() ? QStringLiteral("Правило: нет неисправностей")
                                     : QStringLiteral("Правило: %1").arg(Qs(text)));
    const bool answers = !m_pOff->isChecked();
    for (QWidget* field :
         std::initializer_list<QWidget*>{ m_pDelay, m_pDrop, m_pCrc, m_pException })
        field->setEnabled(answers);
    m_pExceptionPercent->setEnabled(answers && m_pException->currentData().toInt() > 0);
}

void CFaultsDlg::accept()
{
    const std::string error = m_fnApply ? m_fnApply(GetRuleText()) : std::string();
    if (!error.empty()) {
        m_strLastMessage = Qs(error);
        QMessageBox::warning(this, QStringLiteral("Ошибка"), m_strLastMessage);
        return;
    }
    QDialog::accept();
}

} // namespace korvex
