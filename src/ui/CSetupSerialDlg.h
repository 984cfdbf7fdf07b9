#pragma once

#include "core/SSettings.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace korvex {

class CComboSerial;

// The port parameters dialog "Параметры порта": the port, its speed, data
// bits, parity, stop bits, flow control (shown only) and the levels of RTS
// and DTR; the port list ends with "нет", no serial port. A network group
// turns on Modbus TCP and RTU over TCP, each at an address and port; OK with
// an address that is none keeps the dialog open with a message. Each list
// selects the item whose code equals the current setting, or its fallback:
// 9600, 8, "Нет", 1, "Xon/Xoff". The settings change only when OK is pressed
// (Apply).
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
    QCheckBox* TcpBox() const { return m_pTcp; }
    QLineEdit* TcpAddress() const { return m_pTcpAddr; }
    QSpinBox* TcpPort() const { return m_pTcpPort; }
    QCheckBox* RtuTcpBox() const { return m_pRtuTcp; }
    QLineEdit* RtuTcpAddress() const { return m_pRtuTcpAddr; }
    QSpinBox* RtuTcpPort() const { return m_pRtuTcpPort; }

    void accept() override;

private:
    CComboSerial* m_pPort{ nullptr };
    QComboBox* m_pBaud{ nullptr };
    QComboBox* m_pDataBits{ nullptr };
    QComboBox* m_pParity{ nullptr };
    QComboBox* m_pStopBits{ nullptr };
    QComboBox* m_pFlow{ nullptr };
    QCheckBox* m_pRts{ nullptr };
    QCheckBox* m_pDtr{ nullptr };
    QCheckBox* m_pTcp{ nullptr };
    QLineEdit* m_pTcpAddr{ nullptr };
    QSpinBox* m_pTcpPort{ nullptr };
    QCheckBox* m_pRtuTcp{ nullptr };
    QLineEdit* m_pRtuTcpAddr{ nullptr };
    QSpinBox* m_pRtuTcpPort{ nullptr };
    int m_nPorts{ 0 };        // the index of "нет"
    int m_nCurrentPort{ -1 }; // kept when "нет" is chosen
    SSerInfo m_currentInfo;
};

} // namespace korvex
