#pragma once

// A sysfs tty class folder and a /dev folder in a temporary directory, shaped
// like the kernel's, for port scans that must not touch the machine's ports.
// Also a pseudo-terminal pair that stands in for a port held by a program.

#include <string>

namespace korvex::test {

class CFakeSysfs
{
public:
    CFakeSysfs();
    ~CFakeSysfs();

    CFakeSysfs(const CFakeSysfs&) = delete;
    CFakeSysfs& operator=(const CFakeSysfs&) = delete;

    const std::string& GetRoot() const { return m_strRoot; }
    std::string GetSysRoot() const { return m_strRoot + "/sys/class/tty"; }
    std::string GetDevRoot() const { return m_strRoot + "/dev"; }
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
    std::string AddTty(const std::string& deviceDir, const std::string& name);
    void Write(const std::string& path, const std::string& text);
    int m_nNextId{ 1 };
    std::string m_strRoot;
};

// A pseudo-terminal pair; the slave side can be held locked as a program that
// has the port open would.
class CLockablePty
{
public:
    CLockablePty();
    ~CLockablePty();

    CLockablePty(const CLockablePty&) = delete;
    CLockablePty& operator=(const CLockablePty&) = delete;

    bool IsOpen() const { return m_nMaster >= 0 && m_nSlave >= 0; }
    int GetMaster() const { return m_nMaster; }
    int GetSlave() const { return m_nSlave; }
    const std::string& GetSlavePath() const { return m_strSlavePath; }
    // An exclusive flock on the slave descriptor.
    bool LockSlave();

private:
    int m_nMaster{ -1 };
    int m_nSlave{ -1 };
    std::string m_strSlavePath;
};

// A fresh empty directory under the temporary folder.
std::string MakeTempDir(const char* tag);

} // namespace korvex::test
