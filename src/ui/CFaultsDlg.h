#pragma once

#include "core/FaultRules.h"

#include <QDialog>

#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace korvex {

// "Неисправности": the faults of one device for the program's run (never
// saved with the device): no answer at all, answers late, lost, with a wrong
// CRC or replaced by an exception. OK sets them through the given function,
// which answers the error text of rules it refuses (the dialog then stays
// open).
class CFaultsDlg final : public QDialog
{
public:
    using Apply = std::function<std::string(const std::string& rules)>;

    CFaultsDlg(const std::string& deviceId, const SFaultRules& current, Apply apply,
               QWidget* parent = nullptr);

    // The rules the fields give, in the rule syntax.
    std::string GetRuleText() const;

    QCheckBox* OffBox() const { return m_pOff; }
    QLineEdit* DelayEdit() const { return m_pDelay; }
    QSpinBox* DropSpin() const { return m_pDrop; }
    QSpinBox* CrcSpin() const { return m_pCrc; }
    QComboBox* ExceptionList() const { return m_pException; }
    QSpinBox* ExceptionSpin() const { return m_pExceptionPercent; }
    const QString& GetLastMessage() const { return m_strLastMessage; }

    void accept() override;

private:
    void UpdatePreview();

    Apply m_fnApply;
    QCheckBox* m_pOff{ nullptr };
    QLineEdit* m_pDelay{ nullptr };
    QSpinBox* m_pDrop{ nullptr };
    QSpinBox* m_pCrc{ nullptr };
    QComboBox* m_pException{ nullptr };
    QSpinBox* m_pExceptionPercent{ nullptr };
    QLabel* m_pPreview{ nullptr };
    QString m_strLastMessage;
};

} // namespace korvex
