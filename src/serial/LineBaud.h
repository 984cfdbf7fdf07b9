#pragma once

#include <cstdint>

// Baud rates through the Linux termios2 interface, which takes any rate in
// bits per second (BOTHER), not only the B-constants of <termios.h>. The
// kernel header that declares termios2 redefines struct termios, so its only
// user is LineBaud.cpp and this header names no termios type.

namespace korvex {

// Sets input and output speed of the terminal fd to baud; every other setting
// stays. Returns 0 or the errno of the failing call.
int SetLineBaud(int fd, std::uint32_t baud);

// Reads the output speed of the terminal fd in bits per second, also when it
// was set through a B-constant. Returns 0 or the errno of the failing call.
int GetLineBaud(int fd, std::uint32_t& baud);

} // namespace korvex
