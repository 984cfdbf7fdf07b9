// The port scan on Linux: /sys/class/tty for the list, /dev for the busy test.

#include "serial/EnumeratePorts.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace korvex {

namespace fs = std::filesystem;

namespace {

// The serial core's type code of a port without a UART (PORT_UNKNOWN).
constexpr long kPortUnknown = 0;

// The first line of a sysfs attribute, without trailing blanks; empty when
// the attribute is missing or unreadable.
std::string ReadAttribute(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::string();
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    return line;
}

bool HasAttribute(const fs::path& dir, const char* name)
{
    std::error_code ec;
    return fs::exists(dir / name, ec);
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// A serial-core port that the kernel registered without finding a UART, as
// the 8250 driver does for each of its unused lines.
bool IsPlaceholder(const fs::path& ttyDir, const fs::path& deviceDir)
{
    if (HasAttribute(ttyDir, "type")) {
        const std::string type = ReadAttribute(ttyDir / "type");
        if (!type.empty()) {
            char* end = nullptr;
            errno = 0;
            const long code = std::strtol(type.c_str(), &end, 10);
            if (errno == 0 && end != type.c_str() && *end == '\0')
                return code == kPortUnknown;
        }
    }
    // No readable type: the 8250 platform device owns only the lines that no
    // firmware table described, which are placeholders unless configured.
    for (const fs::path& part : deviceDir)
        if (part == "serial8250")
            return true;
    return false;
}

// What the scan learns from the device chain above a tty.
struct SUsbInfo
{
    bool m_bUsb{ false };
    std::string m_strDesc;
};

// Walks from the port's device up the device tree. A folder with
// bInterfaceNumber is a USB interface, the first folder with idVendor the USB
// device that carries the product and manufacturer strings. The walk stops at
// the devices folder of sysfs.
SUsbInfo ReadUsbInfo(const fs::path& deviceDir)
{
    SUsbInfo usb;
    std::string interfaceName;
    for (fs::path dir = deviceDir; dir.has_relative_path() && dir.filename() != "devices";
         dir = dir.parent_path()) {
        if (HasAttribute(dir, "bInterfaceNumber")) {
            usb.m_bUsb = true;
            if (interfaceName.empty())
                interfaceName = ReadAttribute(dir / "interface");
        }
        if (HasAttribute(dir, "idVendor")) {
            usb.m_bUsb = true;
            const std::string product = ReadAttribute(dir / "product");
            const std::string manufacturer = ReadAttribute(dir / "manufacturer");
            if (!product.empty() && !manufacturer.empty())
                usb.m_strDesc = product + " - " + manufacturer;
            else if (!product.empty())
                usb.m_strDesc = product;
            else
                usb.m_strDesc = manufacturer;
            break;
        }
    }
    if (usb.m_strDesc.empty())
        usb.m_strDesc = interfaceName;
    return usb;
}

} // namespace

bool NaturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool digitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (digitA && digitB) {
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA])))
                ++endA;
            while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB])))
                ++endB;
            // Compare the values without converting: leading zeros aside, the
            // longer run is the larger number.
            std::size_t startA = i;
            std::size_t startB = j;
            while (startA + 1 < endA && a[startA] == '0')
                ++startA;
            while (startB + 1 < endB && b[startB] == '0')
                ++startB;
            const std::size_t lenA = endA - startA;
            const std::size_t lenB = endB - startB;
            if (lenA != lenB)
                return lenA < lenB;
            const int cmp = a.compare(startA, lenA, b, startB, lenB);
            if (cmp != 0)
                return cmp < 0;
            // Equal values: fewer leading zeros first, so the order is total.
            if (endA - i != endB - j)
                return endA - i < endB - j;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

bool CanOpenPort(const std::string& openPath)
{
    // O_NONBLOCK: do not wait for carrier; O_NOCTTY: never become the
    // controlling terminal. termios stays as the driver has it.
    const int fd = ::open(openPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Another open of the device that holds the lock (the emulator, or any
    // program that locks its port) makes it busy. TIOCEXCL alone would not
    // stop root.
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return locked;
}

void CompletePortNames(SSerInfo& info)
{
    if (info.m_strShownName.empty())
        info.m_strShownName = info.m_strComName;
    if (!info.m_strComName.empty())
        return;

    const std::string& shown = info.m_strShownName;
    const std::size_t s = shown.find(" (");
    if (s == std::string::npos || s == 0)
        return;
    std::size_t e = std::string::npos;
    for (const char mark : { '-', ')', ' ' }) {
        const std::size_t pos = shown.rfind(mark);
        if (pos != std::string::npos && pos > s) {
            e = pos;
            break;
        }
    }
    if (e == std::string::npos)
        return;
    info.m_strComName = shown.substr(s + 2, e - (s + 2));
}

bool EnumeratePorts(std::vector<SSerInfo>& list, bool dropBusy, const std::string& sysRoot,
                    const std::string& devRoot)
{
    list.clear();

    std::error_code ec;
    fs::directory_iterator it(sysRoot, ec);
    if (ec)
        return false;
    std::vector<std::string> names;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end(), NaturalLess);

    for (const std::string& name : names) {
        const fs::path ttyDir = fs::path(sysRoot) / name;
        const fs::path deviceLink = ttyDir / "device";
        if (!fs::exists(fs::symlink_status(deviceLink, ec)))
            continue; // a virtual terminal, a pseudo-terminal master, the console
        const fs::path deviceDir = fs::canonical(deviceLink, ec);
        if (ec)
            continue; // a dangling link: the device has gone
        if (IsPlaceholder(ttyDir, deviceDir))
            continue;

        SSerInfo info;
        info.m_strComName = name;
        info.m_strOpenPath = devRoot + "/" + name;
        const SUsbInfo usb = ReadUsbInfo(deviceDir);
        info.m_bUsb = usb.m_bUsb || StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM");
        info.m_strDesc = usb.m_strDesc;
        info.m_strShownName = (info.m_strDesc.empty() ? name : info.m_strDesc) + " (" + name + ")";
        list.push_back(std::move(info));
    }

    for (auto port = list.begin(); port != list.end();) {
        port->m_bBusy = !CanOpenPort(port->m_strOpenPath);
        if (port->m_bBusy && dropBusy)
            port = list.erase(port);
        else
            ++port;
    }
    for (SSerInfo& port : list)
        CompletePortNames(port);
    return true;
}

} // namespace korvex
