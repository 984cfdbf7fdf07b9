#pragma once

#include "core/CDevDoc.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QSpinBox;

namespace korvex {

class CEditDexHex;

// "Добавить диапазон ячеек": a kind, a first address, a count, an ID prefix
// (the IDs are the prefix and the decimal address), bounds and a value. OK
// adds the whole range to the device, or keeps the dialog open with the
// first problem (a cell of the kind with one of the addresses or IDs, a
// range beyond 0xFFFF) and adds nothing. User-interface thread.
class CCellRangeDlg final : public QDialog
{
public:
    // hex: numbers in hexadecimal (EDITHEX).
    CCellRangeDlg(CDevDoc& device, bool hex, QWidget* parent = nullptr);

    void SetRange(const SCellRange& range);
    SCellRange GetRange() const;

    QComboBox* TypeList() const { return m_pType; }
    QSpinBox* CountSpin() const { return m_pCount; }
    QLineEdit* PrefixEdit() const { return m_pPrefix; }
    CEditDexHex* FirstEdit() const { return m_pFirst; }

    // The refusal shown last; empty when none (tests read it).
    const QString& GetLastMessage() const { return m_strLastMessage; }

    void accept() override;

    // The ID prefix a kind offers: "CO", "DI", "HR", "IR".
    static QString DefaultPrefix(int type);

private:
    void OnTypeChanged(int type);

    CDevDoc& m_device;
    QComboBox* m_pType{ nullptr };
    CEditDexHex* m_pFirst{ nullptr };
    QSpinBox* m_pCount{ nullptr };
    QLineEdit* m_pPrefix{ nullptr };
    CEditDexHex* m_pMin{ nullptr };
    CEditDexHex* m_pMax{ nullptr };
    CEditDexHex* m_pValue{ nullptr };
    QString m_strLastMessage;
};

} // namespace korvex
