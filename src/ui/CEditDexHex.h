#pragma once

#include <QAbstractSpinBox>

#include <cstdint>

namespace korvex {

// A number field with an up-down button, in hexadecimal ("0x1A") when EDITHEX
// is set and in decimal otherwise. Every change of the text is parsed
// (ParseNumber) and the value is shown again; typed values are not clamped,
// SetRange and the buttons (which wrap at the ends) keep to the range. A
// typed number that does not fit in 16 bits is never cut: the text stays as
// typed, the value keeps its last fitting number and GetOverflowMessage says
// so, for the dialog to refuse. In hexadecimal only the digits, A to F and X
// can be typed, in decimal only the digits. On focus the text after "0x", or
// the whole decimal text, is selected.
class CEditDexHex final : public QAbstractSpinBox
{
public:
    explicit CEditDexHex(bool hex, QWidget* parent = nullptr);

    // A maximum below the minimum is raised to it; the value is clamped into
    // the range and shown again if it changed.
    void SetRange(std::uint16_t min, std::uint16_t max);
    void SetNumber(std::uint16_t value);
    std::uint16_t GetNumber() const { return m_wValue; }
    std::uint16_t GetMin() const { return m_wMin; }
    std::uint16_t GetMax() const { return m_wMax; }
    // Decimal or hexadecimal from now on; the value is shown again.
    void SetHex(bool hex);
    // The typed text is a number outside 0..0xFFFF.
    bool IsOverflow() const { return m_bOverflow; }
    // The message that refuses a number too large for 16 bits; empty when
    // the text fits.
    QString GetOverflowMessage() const;

    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override;
    QValidator::State validate(QString& input, int& pos) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void OnTextEdited(const QString& text);
    void Redisplay();
    QString Format(std::uint16_t value) const;

    bool m_bHex;
    std::uint16_t m_wMin{ 0 };
    std::uint16_t m_wMax{ 0xFFFF };
    std::uint16_t m_wValue{ 0 };
    bool m_bRedisplaying{ false };
    bool m_bOverflow{ false };
};

} // namespace korvex
