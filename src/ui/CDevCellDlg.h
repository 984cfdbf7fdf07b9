#pragma once

#include "core/CDevDoc.h"

#include <QDialog>

class QComboBox;
class QLineEdit;

namespace korvex {

class CEditDexHex;

// The cell dialog: a new cell, the fields of an existing one ("Изменение
// ячейки": type, ID and address cannot change there), or only the value of
// one while masters poll it. Changing the type sets
// the bounds, the access and the value's range as the type wants them. OK
// tests the fields through the device (the five refusals, in their order)
// and keeps the dialog open on a refusal. User-interface thread.
class CDevCellDlg final : public QDialog
{
public:
    // hex: numbers in hexadecimal (EDITHEX).
    CDevCellDlg(bool hex, QWidget* parent = nullptr);

    enum class Mode
    {
        New,   // a new cell
        Edit,  // an existing cell: type, ID and address stay
        Value, // the value alone, while the emulator runs
    };

    // Runs the dialog for the device, numbers in hexadecimal when hex is set
    // (EDITHEX as it is now). The fields stay from one run to the next (the
    // add dialog remembers what was typed).
    int Open(CDevDoc& device, Mode mode, bool hex);

    void SetFields(const SCellFields& fields);
    SCellFields GetFields() const;

    QComboBox* TypeList() const { return m_pType; }
    QComboBox* AccessList() const { return m_pAccess; }
    QLineEdit* IdEdit() const { return m_pId; }
    QLineEdit* DescEdit() const { return m_pDesc; }
    CEditDexHex* ValueEdit() const { return m_pValue; }
    CEditDexHex* AddrEdit() const { return m_pAddr; }
    CEditDexHex* MinEdit() const { return m_pMin; }
    CEditDexHex* MaxEdit() const { return m_pMax; }

    // The fields accepted; the refusal text shown otherwise (tests read it).
    const QString& GetLastMessage() const { return m_strLastMessage; }

    void accept() override;

private:
    void OnTypeChanged(int type);
    void EnableForType(int type);

    QComboBox* m_pType{ nullptr };
    QLineEdit* m_pId{ nullptr };
    QLineEdit* m_pDesc{ nullptr };
    QComboBox* m_pAccess{ nullptr };
    CEditDexHex* m_pValue{ nullptr };
    CEditDexHex* m_pAddr{ nullptr };
    CEditDexHex* m_pMin{ nullptr };
    CEditDexHex* m_pMax{ nullptr };
    CDevDoc* m_pDevice{ nullptr };
    Mode m_mode{ Mode::New };
    bool m_bOpened{ false };
    bool m_bSetting{ false };
    QString m_strLastMessage;
};

} // namespace korvex
