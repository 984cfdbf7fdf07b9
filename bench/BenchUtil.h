#pragma once

// What the benchmarks that drive korvex-cli or korvex from outside share.

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace korvex::bench {

// Device BENCH at address 1: holding registers 0..9 holding 0..9.
inline std::string BenchDevice()
{
    std::string text = "BENCH\t1\r\n";
    for (int a = 0; a < 10; ++a)
        text += "HREG\treg\tH" + std::to_string(a) + "\t" + std::to_string(a) + "\tRW\t0-65535\t" +
                std::to_string(a) + "\r\n";
    return text;
}

// Waits up to ten seconds for a port's link to appear.
inline bool WaitForPath(const std::string& path)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!std::filesystem::exists(path) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return std::filesystem::exists(path);
}

} // namespace korvex::bench
