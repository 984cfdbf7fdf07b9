#pragma once

#include <cstdint>

namespace korvex {

// Line-event bits of the serial port's event mask, with the values the
// settings and the original program use.
constexpr std::uint32_t EV_RXCHAR = 0x0001;  // a character was received
constexpr std::uint32_t EV_RXFLAG = 0x0002;  // the event character was received
constexpr std::uint32_t EV_TXEMPTY = 0x0004; // the last byte left the transmitter
constexpr std::uint32_t EV_CTS = 0x0008;     // CTS changed
constexpr std::uint32_t EV_DSR = 0x0010;     // DSR changed
constexpr std::uint32_t EV_RLSD = 0x0020;    // carrier detect changed
constexpr std::uint32_t EV_BREAK = 0x0040;   // a break was received
constexpr std::uint32_t EV_ERR = 0x0080;     // a line-status error occurred
constexpr std::uint32_t EV_RING = 0x0100;    // the ring indicator changed

// Received character, CTS, DSR, RLSD, break and ring (377 decimal).
constexpr std::uint32_t kDefaultEventMask = 0x0179;

// Parity codes.
constexpr std::uint8_t NOPARITY = 0;
constexpr std::uint8_t ODDPARITY = 1;
constexpr std::uint8_t EVENPARITY = 2;
constexpr std::uint8_t MARKPARITY = 3;
constexpr std::uint8_t SPACEPARITY = 4;

// Stop-bit codes.
constexpr std::uint8_t ONESTOPBIT = 0;
constexpr std::uint8_t ONE5STOPBITS = 1;
constexpr std::uint8_t TWOSTOPBITS = 2;

} // namespace korvex
