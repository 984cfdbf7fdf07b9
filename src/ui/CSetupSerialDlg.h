#pragma once

#include "core/SSettings.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;

namespace korvex {

class CComboSerial;

// The port parameters dialog "Параметры порта": the port, its speed, data
// bits, parity, stop bits, flow control (shown only) and the levels of RTS
// and DTR. Each list selects the item whose code equals the current setting,
// or its fallback: 9600, 8, "Нет", 1, "Xon/Xoff". The settings change only
// when OK is pressed (Apply).
class CSetupSerialDlg final : public QDialog
{
public:
    // sessionPort: the running emulator's port, empty when stopped.
    CSetupSerialDlg(const std::vector<SSerInfo>& ports, const SPortSettings& current,
                    const std::string& sessionPort, QWidget* parent = nullptr);

    // The chosen values into the settings: PORT is the selected port's
    // position (-1 with an empty list), m_info its record.
    void Apply(SPortSettings& settings) const;

    CComboSerial* PortList() const { return m_pPort; }
    QComboBox* BaudList() const { return m_pBaud; }
    QComboBox* DataBitsList() const { return m_pDataBits; }
    QComboBox* ParityList() const { return m_pParity; }
    QComboBox* StopBitsList() const { return m_pStopBits; }
    QComboBox* FlowList() const { return m_pFlow; }

private:
    CComboSerial* m_pPort{ nullptr };
    QComboBox* m_pBaud{ nullptr };
    QComboBox* m_pDataBits{ nullptr };
    QComboBox* m_pParity{ nullptr };
    QComboBox* m_pStopBits{ nullptr };
    QComboBox* m_pFlow{ nullptr };
    QCheckBox* m_pRts{ nullptr };
    QCheckBox* m_pDtr{ nullptr };
};

} // namespace korvex
