#pragma once

#include "core/SSettings.h"

#include <QComboBox>

#include <vector>

namespace korvex {

// The port list of the port dialog: each item is a port's shown name behind
// a marker, red when the port could not be opened during the scan, green when
// it could. The session's own port shows green while the emulator runs,
// whatever its mark says.
class CComboSerial final : public QComboBox
{
public:
    explicit CComboSerial(QWidget* parent = nullptr);

    // sessionPort: the port the running emulator holds, empty when stopped.
    void SetPorts(const std::vector<SSerInfo>& ports, const std::string& sessionPort);
    // The record at index, or an empty record outside the list.
    SSerInfo GetPort(int index) const;
    // Whether the item's marker is green.
    bool IsShownFree(int index) const;
    // Appends the choice of no port ("нет") after the ports; its index is the
    // port count.
    void AddNoPort();

private:
    std::vector<SSerInfo> m_arPorts;
    std::string m_strSessionPort;
};

} // namespace korvex
