#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvex {

// The faults injected into one device's answers, as the text
// "RULE[,RULE...]" gives them:
//   off                  the device answers nothing
//   delay=MS             every answer leaves MS milliseconds late
//   delay=MIN-MAX        ... a random time in the range late
//   drop=P               P percent of the requests get no answer
//   crc=P                P percent of the answers carry a wrong CRC
//   exception=CODE[:P]   P percent (default 100) of the requests are answered
//                        with exception CODE instead
// Rule names ignore case; blanks around rules and values are allowed; an empty
// text is no fault. The command line, MyObject.SetFault and the desktop
// program's dialog share this syntax and its error texts.
struct SFaultRules
{
    struct SDelay
    {
        std::uint32_t dwMin{ 0 }; // milliseconds
        std::uint32_t dwMax{ 0 };
        bool operator==(const SDelay&) const = default;
    };
    struct SException
    {
        std::uint8_t byCode{ 0 };
        int nPercent{ 100 };
        bool operator==(const SException&) const = default;
    };

    bool bOff{ false };
    std::optional<SDelay> delay;
    std::optional<int> drop; // percent
    std::optional<int> crc;  // percent
    std::optional<SException> exception;

    bool IsEmpty() const { return !bOff && !delay && !drop && !crc && !exception; }
    bool operator==(const SFaultRules&) const = default;
};

// The longest delay a rule may ask for.
inline constexpr std::uint32_t kMaxFaultDelayMs = 60000;

// Parses the rules; returns the error text (in the program's language) or an
// empty text when they are valid, in which case rules holds them.
std::string ParseFaultRules(std::string_view text, SFaultRules& rules);

// The rules in their canonical text: "off", "delay=100-200,drop=10",
// "exception=6:50"; empty for no fault. It parses back to the same rules.
std::string FormatFaultRules(const SFaultRules& rules);

// Canonical texts of single rules, as the protocol log names them.
std::string FormatDelayRule(const SFaultRules::SDelay& delay);
std::string FormatPercentRule(const char* name, int percent);
std::string FormatExceptionRule(const SFaultRules::SException& exception);

} // namespace korvex
