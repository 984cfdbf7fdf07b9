#include "support/CFakeSysfs.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <unistd.h>

namespace korvex::test {

namespace fs = std::filesystem;

std::string MakeTempDir(const char* tag)
{
    std::string pattern =
        (fs::temp_directory_path() / (std::string("korvex-") + tag + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

CFakeSysfs::CFakeSysfs() : m_strRoot(MakeTempDir("sysfs"))
{
    fs::create_directories(GetSysRoot());
    fs::create_directories(GetDevRoot());
    fs::create_directories(m_strRoot + "/sys/devices");
}

CFakeSysfs::~CFakeSysfs()
{
    std::error_code ec;
    fs::remove_all(m_strRoot, ec);
}

void CFakeSysfs::Write(const std::string& path, const std::string& text)
{
    std::ofstream out(path);
    out << text << '\n';
}

// Makes deviceDir/tty/name with its device link, and the class entry
// sys/class/tty/name pointing at it, as the kernel lays them out.
std::string CFakeSysfs::AddTty(const std::string& deviceDir, const std::string& name)
{
    const std::string devices = m_strRoot + "/sys/devices/";
    const std::string ttyDir = devices + deviceDir + "/tty/" + name;
    fs::create_directories(ttyDir);
    fs::create_symlink("../../../" + fs::path(deviceDir).filename().string(), ttyDir + "/device");
    Write(ttyDir + "/dev", "188:0");
    fs::create_symlink(ttyDir, GetSysRoot() + "/" + name);
    return ttyDir;
}

void CFakeSysfs::AddUsbSerial(const std::string& name, const std::string& product,
                              const std::string& manufacturer)
{
    const std::string bus = "pci0000:00/0000:00:14.0/usb1";
    const std::string dev = "1-" + std::to_string(m_nNextId++);
    const std::string base = m_strRoot + "/sys/devices/" + bus + "/" + dev;
    fs::create_directories(base + "/" + dev + ":1.0/" + name);
    Write(base + "/idVendor", "0403");
    Write(base + "/idProduct", "6001");
    if (!product.empty())
        Write(base + "/product", product);
    if (!manufacturer.empty())
        Write(base + "/manufacturer", manufacturer);
    Write(base + "/" + dev + ":1.0/bInterfaceNumber", "00");
    // The converter port's own tty folder sits below the port device.
    const std::string portDir = bus + "/" + dev + "/" + dev + ":1.0/" + name;
    const std::string ttyDir = m_strRoot + "/sys/devices/" + portDir + "/tty/" + name;
    fs::create_directories(ttyDir);
    fs::create_symlink("../../../" + name, ttyDir + "/device");
    fs::create_symlink(ttyDir, GetSysRoot() + "/" + name);
}

void CFakeSysfs::AddUsbInterfacePort(const std::string& name, const std::string& product,
                                     const std::string& manufacturer,
                                     const std::string& interfaceText)
{
    const std::string bus = "pci0000:00/0000:00:14.0/usb2";
    const std::string dev = "2-" + std::to_string(m_nNextId++);
    const std::string base = m_strRoot + "/sys/devices/" + bus + "/" + dev;
    fs::create_directories(base + "/" + dev + ":1.0");
    Write(base + "/idVendor", "2341");
    Write(base + "/idProduct", "0043");
    if (!product.empty())
        Write(base + "/product", product);
    if (!manufacturer.empty())
        Write(base + "/manufacturer", manufacturer);
    Write(base + "/" + dev + ":1.0/bInterfaceNumber", "00");
    if (!interfaceText.empty())
        Write(base + "/" + dev + ":1.0/interface", interfaceText);
    AddTty(bus + "/" + dev + "/" + dev + ":1.0", name);
}

void CFakeSysfs::AddUart(const std::string& name, int type)
{
    const std::string ttyDir = AddTty("pnp0/00:0" + std::to_string(m_nNextId++), name);
    Write(ttyDir + "/type", std::to_string(type));
}

void CFakeSysfs::AddSerial8250Line(const std::string& name, int type)
{
    const std::string ttyDir = m_strRoot + "/sys/devices/platform/serial8250/tty/" + name;
    fs::create_directories(ttyDir);
    fs::create_symlink("../../../serial8250", ttyDir + "/device");
    fs::create_symlink(ttyDir, GetSysRoot() + "/" + name);
    if (type >= 0)
        Write(ttyDir + "/type", std::to_string(type));
}

void CFakeSysfs::AddVirtual(const std::string& name)
{
    const std::string ttyDir = m_strRoot + "/sys/devices/virtual/tty/" + name;
    fs::create_directories(ttyDir);
    Write(ttyDir + "/dev", "4:1");
    fs::create_symlink(ttyDir, GetSysRoot() + "/" + name);
}

void CFakeSysfs::AddDanglingDevice(const std::string& name)
{
    const std::string ttyDir = m_strRoot + "/sys/devices/gone/tty/" + name;
    fs::create_directories(ttyDir);
    fs::create_symlink("../../../nowhere", ttyDir + "/device");
    fs::create_symlink(ttyDir, GetSysRoot() + "/" + name);
}

void CFakeSysfs::AddDevFile(const std::string& name)
{
    Write(GetDevPath(name), "");
}

void CFakeSysfs::AddDevLink(const std::string& name, const std::string& target)
{
    fs::create_symlink(target, GetDevPath(name));
}

CLockablePty::CLockablePty()
{
    if (::openpty(&m_nMaster, &m_nSlave, nullptr, nullptr, nullptr) != 0) {
        m_nMaster = m_nSlave = -1;
        return;
    }
    const char* name = ::ttyname(m_nSlave);
    m_strSlavePath = name != nullptr ? name : "";
}

CLockablePty::~CLockablePty()
{
    if (m_nSlave >= 0)
        ::close(m_nSlave);
    if (m_nMaster >= 0)
        ::close(m_nMaster);
}

bool CLockablePty::LockSlave()
{
    return m_nSlave >= 0 && ::flock(m_nSlave, LOCK_EX | LOCK_NB) == 0;
}

} // namespace korvex::test
