#include "ui/CEditDexHex.h"

#include "core/Text.h"
#include "files/TextFields.h"
#include "ui/UiText.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

namespace korvex {

CEditDexHex::CEditDexHex(bool hex, QWidget* parent) : QAbstractSpinBox(parent), m_bHex(hex)
{
    setWrapping(true);
    setAccelerated(true);
    connect(lineEdit(), &QLineEdit::textEdited, this, &CEditDexHex::OnTextEdited);
    Redisplay();
}

QString CEditDexHex::Format(std::uint16_t value) const
{
    return Qs(FormatNumber(value, m_bHex, -1));
}

void CEditDexHex::Redisplay()
{
    m_bOverflow = false;
    QLineEdit* edit = lineEdit();
    const QString text = Format(m_wValue);
    if (edit->text() == text)
        return;
    // The caret stays where it was, counted from the end of the text.
    const int fromEnd = static_cast<int>(edit->text().size()) - edit->cursorPosition();
    m_bRedisplaying = true;
    edit->setText(text);
    edit->setCursorPosition(std::max(0, static_cast<int>(text.size()) - fromEnd));
    m_bRedisplaying = false;
}

void CEditDexHex::OnTextEdited(const QString& text)
{
    if (m_bRedisplaying)
        return;
    const std::int32_t typed = ParseNumber(Ss(text));
    if (typed < 0 || typed > 0xFFFF) {
        // Keep the text: cutting it to its low bits would store another number.
        m_bOverflow = true;
        return;
    }
    m_wValue = static_cast<std::uint16_t>(static_cast<std::uint32_t>(typed) & 0xFFFF);
    Redisplay();
}

QString CEditDexHex::GetOverflowMessage() const
{
    if (!m_bOverflow)
        return QString();
    return QStringLiteral("Число %1 не помещается в 16 бит (от %2 до %3)!")
        .arg(lineEdit()->text().trimmed(), Format(0), Format(0xFFFF));
}

void CEditDexHex::SetRange(std::uint16_t min, std::uint16_t max)
{
    m_wMin = min;
    m_wMax = max < min ? min : max;
    const std::uint16_t clamped = std::clamp(m_wValue, m_wMin, m_wMax);
    if (clamped != m_wValue) {
        m_wValue = clamped;
        Redisplay();
    }
}

void CEditDexHex::SetHex(bool hex)
{
    m_bHex = hex;
    Redisplay();
}

void CEditDexHex::SetNumber(std::uint16_t value)
{
    m_wValue = value;
    Redisplay();
}

void CEditDexHex::stepBy(int steps)
{
    // Within the range, wrapping at its ends.
    const int span = m_wMax - m_wMin + 1;
    int offset = (static_cast<int>(std::clamp(m_wValue, m_wMin, m_wMax)) - m_wMin + steps) % span;
    if (offset < 0)
        offset += span;
    m_wValue = static_cast<std::uint16_t>(m_wMin + offset);
    Redisplay();
    lineEdit()->selectAll();
}

QAbstractSpinBox::StepEnabled CEditDexHex::stepEnabled() const
{
    return m_wMax > m_wMin ? (StepUpEnabled | StepDownEnabled) : StepNone;
}

QValidator::State CEditDexHex::validate(QString&, int&) const
{
    // Any text is parsed; the key filter keeps what can be typed.
    return QValidator::Acceptable;
}

void CEditDexHex::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text().toUpper();
    if (text.size() == 1 && text[0].isLetterOrNumber() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        const QChar c = text[0];
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        const bool hexLetter =
            (c >= QLatin1Char('A') && c <= QLatin1Char('F')) || c == QLatin1Char('X');
        if (!(digit || (m_bHex && hexLetter))) {
            event->accept();
            return;
        }
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void CEditDexHex::focusInEvent(QFocusEvent* event)
{
    QAbstractSpinBox::focusInEvent(event);
    // After the base has placed the caret.
    QTimer::singleShot(0, this, [this] {
        QLineEdit* edit = lineEdit();
        if (m_bHex && edit->text().startsWith(QStringLiteral("0x")))
            edit->setSelection(2, static_cast<int>(edit->text().size()) - 2);
        else
            edit->selectAll();
    });
}

} // namespace korvex
