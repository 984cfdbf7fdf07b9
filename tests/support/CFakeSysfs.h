#pragma once

// A sysfs tty class folder and a /dev folder in a temporary directory, shaped
// like the kernel's, for port scans that must not touch the machine's ports.

#include "support/TempDir.h"

#include <string>

namespace korvex::test {

class CFakeSysfs
{
public:
    CFakeSysfs();

    const std::string& GetRoot() const { return m_dir.Path(); }
    std::string GetSysRoot() const { return GetRoot() + "/sys/class/tty"; }
    std::string GetDevRoot() const { return GetRoot() + "/dev"; }
    std::string GetDevPath(const std::string& name) const { return GetDevRoot() + "/" + name; }

    // A USB serial converter (ttyUSB): the tty's device is the converter port
    // under the USB interface, whose parent is the USB device with the
    // product and manufacturer strings (an empty text leaves the file out).
    void AddUsbSerial(const std::string& name, const std::string& product,
                      const std::string& manufacturer);
    // A CDC ACM modem (ttyACM) or any tty whose device is the USB interface
    // itself; interfaceText is the interface's string ("" for none).
    void AddUsbInterfacePort(const std::string& name, const std::string& product,
                             const std::string& manufacturer, const std::string& interfaceText);
    // An on-board UART described by firmware, with the serial core's type
    // attribute.
    void AddUart(const std::string& name, int type);
    // A line of the 8250 platform device, with a type attribute (type >= 0) or
    // without one (type < 0).
    void AddSerial8250Line(const std::string& name, int type);
    // A virtual terminal: no device link.
    void AddVirtual(const std::string& name);
    // A tty whose device link points nowhere.
    void AddDanglingDevice(const std::string& name);

    // Device nodes in the fake /dev: a plain file, or a link to another path
    // (a pseudo-terminal's slave).
    void AddDevFile(const std::string& name);
    void AddDevLink(const std::string& name, const std::string& target);

private:
    // Makes sys/devices/deviceDir/tty/name, its device link (none when
    // empty) and the class entry pointing at it, as the kernel lays them
    // out; returns the tty folder.
    std::string AddTty(const std::string& deviceDir, const std::string& name,
                       const std::string& deviceLink);
    void Write(const std::string& path, const std::string& text);
    // The USB device under usbBus with its strings; returns its folder below
    // sys/devices and the interface folder's name in iface.
    std::string AddUsbDevice(const std::string& usbBus, const std::string& product,
                             const std::string& manufacturer, std::string& iface);

    CTempDir m_dir;
    int m_nNextId{ 1 };
};

} // namespace korvex::test
