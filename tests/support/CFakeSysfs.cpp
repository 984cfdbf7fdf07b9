#include "support/CFakeSysfs.h"

#include <filesystem>
#include <fstream>

namespace korvex::test {

namespace fs = std::filesystem;

namespace {

// A tty's device link: up from deviceDir/tty/name and back down into deviceDir.
std::string LinkTo(const std::string& deviceDir)
{
    return "../../../" + fs::path(deviceDir).filename().string();
}

} // namespace

CFakeSysfs::CFakeSysfs()
{
    fs::create_directories(GetSysRoot());
    fs::create_directories(GetDevRoot());
}

void CFakeSysfs::Write(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text << '\n';
}

std::string CFakeSysfs::AddTty(const std::string& deviceDir, const std::string& name,
                               const std::string& deviceLink)
{
    const std::string ttyDir = GetRoot() + "/sys/devices/" + deviceDir + "/tty/" + name;
    fs::create_directories(ttyDir);
    if (!deviceLink.empty())
        fs::create_symlink(deviceLink, ttyDir + "/device");
    Write(ttyDir + "/dev", "188:0");
    fs::create_symlink(ttyDir, GetSysRoot() + "/" + name);
    return ttyDir;
}

std::string CFakeSysfs::AddUsbDevice(const std::string& usbBus, const std::string& product,
                                     const std::string& manufacturer, std::string& iface)
{
    const std::string dev = usbBus.back() + std::string("-") + std::to_string(m_nNextId++);
    const std::string base =
        GetRoot() + "/sys/devices/pci0000:00/0000:00:14.0/" + usbBus + "/" + dev;
    iface = dev + ":1.0";
    fs::create_directories(base + "/" + iface);
    Write(base + "/idVendor", "0403");
    if (!product.empty())
        Write(base + "/product", product);
    if (!manufacturer.empty())
        Write(base + "/manufacturer", manufacturer);
    Write(base + "/" + iface + "/bInterfaceNumber", "00");
    return "pci0000:00/0000:00:14.0/" + usbBus + "/" + dev;
}

void CFakeSysfs::AddUsbSerial(const std::string& name, const std::string& product,
                              const std::string& manufacturer)
{
    // The converter port's own tty folder sits below the port device, which
    // sits below the interface.
    std::string iface;
    const std::string dev = AddUsbDevice("usb1", product, manufacturer, iface);
    const std::string port = dev + "/" + iface + "/" + name;
    AddTty(port, name, LinkTo(port));
}

void CFakeSysfs::AddUsbInterfacePort(const std::string& name, const std::string& product,
                                     const std::string& manufacturer,
                                     const std::string& interfaceText)
{
    std::string iface;
    const std::string dev = AddUsbDevice("usb2", product, manufacturer, iface);
    if (!interfaceText.empty())
        Write(GetRoot() + "/sys/devices/" + dev + "/" + iface + "/interface", interfaceText);
    AddTty(dev + "/" + iface, name, LinkTo(iface));
}

void CFakeSysfs::AddUart(const std::string& name, int type)
{
    const std::string device = "pnp0/00:0" + std::to_string(m_nNextId++);
    Write(AddTty(device, name, LinkTo(device)) + "/type", std::to_string(type));
}

void CFakeSysfs::AddSerial8250Line(const std::string& name, int type)
{
    const std::string ttyDir = AddTty("platform/serial8250", name, "../../../serial8250");
    if (type >= 0)
        Write(ttyDir + "/type", std::to_string(type));
}

void CFakeSysfs::AddVirtual(const std::string& name)
{
    AddTty("virtual", name, "");
}

void CFakeSysfs::AddDanglingDevice(const std::string& name)
{
    AddTty("gone", name, "../../../nowhere");
}

void CFakeSysfs::AddDevFile(const std::string& name)
{
    Write(GetDevPath(name), "");
}

void CFakeSysfs::AddDevLink(const std::string& name, const std::string& target)
{
    fs::create_symlink(target, GetDevPath(name));
}

} // namespace korvex::test
