#pragma once

#include "core/SSettings.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace korvex {

// The interface parameters dialog "Параметры интерфейса": the line limits of
// the protocol log and of the script logs, and decimal or hexadecimal
// numbers, answers by the standard and the cell rules. Each limit must be an unsigned decimal
// number when OK is pressed, or "Введите положительное число." is shown and the dialog stays open;
// 0 means no limit.
class CSetupLogsDlg final : public QDialog
{
public:
    static constexpr char kNotANumber[] = "Введите положительное число.";

    explicit CSetupLogsDlg(const SSettings& current, QWidget* parent = nullptr);

    // The values into the settings (after OK).
    void Apply(SSettings& settings) const;

    QLineEdit* MaxLogPEdit() const { return m_pMaxLogP; }
    QLineEdit* MaxLogSEdit() const { return m_pMaxLogS; }
    QCheckBox* AddrHexBox() const { return m_pAddrHex; }
    QCheckBox* ValueHexBox() const { return m_pValueHex; }
    QCheckBox* EditHexBox() const { return m_pEditHex; }
    QCheckBox* StrictBox() const { return m_pStrict; }
    QCheckBox* CellRulesBox() const { return m_pCellRules; }

    // A field's number, or -1 when it holds none.
    static int ParseLimit(const QString& text);

    void accept() override;

private:
    QLineEdit* m_pMaxLogP{ nullptr };
    QLineEdit* m_pMaxLogS{ nullptr };
    QCheckBox* m_pAddrHex{ nullptr };
    QCheckBox* m_pValueHex{ nullptr };
    QCheckBox* m_pEditHex{ nullptr };
    QCheckBox* m_pStrict{ nullptr };
    QCheckBox* m_pCellRules{ nullptr };
};

} // namespace korvex
