#pragma once

#include "core/SSettings.h"

#include <string>
#include <vector>

namespace korvex {

// The machine's serial ports, from a scan of the tty class folder of sysfs.
//
// Every entry of sysRoot with a "device" link is a port, except serial-core
// placeholders that have no UART behind them: a "type" attribute of 0
// (PORT_UNKNOWN), or, where the attribute cannot be read, a device that sits
// under the serial8250 platform device. Ports on USB (ttyUSB*, ttyACM*, or any
// port whose device lies under a USB interface) get m_bUsb and a description
// from the USB device's "product" and "manufacturer" attributes.
//
// The scan visits the entries in natural name order (ttyS2 before ttyS10) and
// the list keeps that order. Each port is then tried with an open of
// devRoot/<name> (see CanOpenPort); one that fails is marked busy, or left out
// when dropBusy is set. Last, each record's names are completed
// (CompletePortNames).
//
// Returns false, with the list empty, when sysRoot cannot be read; callers treat
// that as a machine without ports.
bool EnumeratePorts(std::vector<SSerInfo>& list, bool dropBusy,
                    const std::string& sysRoot = "/sys/class/tty",
                    const std::string& devRoot = "/dev");

// The trial open of the busy test: read-write, no controlling terminal, without
// waiting for carrier, then an exclusive non-blocking flock, closed at once.
// The line settings are never touched, so a port in use is not disturbed.
// False when the path does not exist, cannot be opened, or another open of the
// device holds the lock.
bool CanOpenPort(const std::string& openPath);

// Fills in missing names: an empty shown name takes the short name; an empty
// short name is cut out of the shown name, from behind its first " (" up to
// the last "-", ")" or blank after it (in that order of preference), so
// "USB Serial Port (COM5)" gives "COM5". Without " (" past the first
// character, or without an end mark after it, the short name stays empty.
void CompletePortNames(SSerInfo& info);

// Name order of the scan: runs of digits compare by their value.
bool NaturalLess(const std::string& a, const std::string& b);

} // namespace korvex
