#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>

class QLineEdit;

namespace korvex {

class CDevDoc;

// The value of a typed cell (a view over one or more registers) as its type
// reads it: 23.5, -7, text. The typed bounds are edited beside it while the
// emulator is stopped; empty bounds are the type's whole range. OK checks
// everything and writes all the registers at once, under one hold of the
// device's lock, so a master never reads half of the value; a refusal is a
// message and the dialog stays open. User-interface thread.
class CTypedValueDlg final : public QDialog
{
public:
    CTypedValueDlg(CDevDoc& device, std::int32_t type, std::uint16_t addr, bool boundsEditable,
                   QWidget* parent = nullptr);

    QLineEdit* ValueField() const { return m_pValue; }
    QLineEdit* MinField() const { return m_pMin; }
    QLineEdit* MaxField() const { return m_pMax; }
    // The reason of the last refusal, empty after a value was taken.
    const QString& GetLastMessage() const { return m_strLastMessage; }

    void accept() override;

private:
    // The bounds as typed, checked; the refusal, else empty.
    QString CheckBounds(std::string& min, std::string& max) const;

    CDevDoc& m_device;
    std::int32_t m_nType;
    std::uint16_t m_wAddr;
    QLineEdit* m_pValue{ nullptr };
    QLineEdit* m_pMin{ nullptr };
    QLineEdit* m_pMax{ nullptr };
    QString m_strLastMessage;
};

} // namespace korvex
