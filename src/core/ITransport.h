#pragma once

#include <string>

namespace korvex {

// A transport served beside the serial port while the emulator runs (a
// network listener): started with every start, stopped with every stop.
//
// Threads: Start and Stop on the user-interface thread.
class ITransport
{
public:
    virtual ~ITransport() = default;
    // Starts serving; false with the reason (one line) when it cannot.
    virtual bool Start(std::string& error) = 0;
    virtual void Stop() = 0;
    // What it serves, for the status bar: "Modbus TCP 127.0.0.1:1502".
    virtual std::string Describe() const = 0;
};

} // namespace korvex
