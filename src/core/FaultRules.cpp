#include "core/FaultRules.h"

#include "core/Text.h"

#include <cctype>
#include <vector>

namespace korvex {
namespace {

constexpr char kSyntax[] = "off, delay=MS, delay=MIN-MAX, drop=P, crc=P, exception=CODE[:P]";

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Decimal digits only, at most limit.
std::optional<std::uint32_t> ParseDecimal(std::string_view s, std::uint32_t limit)
{
    s = Trim(s);
    if (s.empty() || s.size() > 10)
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > limit)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// Decimal, or hexadecimal behind 0x.
std::optional<std::uint32_t> ParseCode(std::string_view s)
{
    s = Trim(s);
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        if (s.empty() || s.size() > 4)
            return std::nullopt;
        std::uint32_t value = 0;
        for (char c : s) {
            if (!std::isxdigit(static_cast<unsigned char>(c)))
                return std::nullopt;
            const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            value = value * 16 + static_cast<std::uint32_t>(l <= '9' ? l - '0' : l - 'a' + 10);
        }
        return value;
    }
    return ParseDecimal(s, 0xFFFF);
}

std::string PercentError(std::string_view rule)
{
    return StrFormat("Правило \"%.*s\": вероятность P должна быть целым числом от 0 до 100",
                     static_cast<int>(rule.size()), rule.data());
}

} // namespace

std::string ParseFaultRules(std::string_view text, SFaultRules& rules)
{
    SFaultRules parsed;
    text = Trim(text);
    if (text.empty()) {
        rules = parsed;
        return std::string();
    }
    std::vector<std::string_view> items;
    for (std::size_t from = 0;;) {
        const std::size_t comma = text.find(',', from);
        items.push_back(
            Trim(text.substr(from, comma == std::string_view::npos ? comma : comma - from)));
        if (comma == std::string_view::npos)
            break;
        from = comma + 1;
    }

    for (const std::string_view rule : items) {
        const auto printable = [&rule] { return std::string(rule); };
        if (rule.empty())
            return "Пустое правило в списке неисправностей: правила разделяются одной запятой";
        const std::size_t eq = rule.find('=');
        const std::string name = Lower(Trim(rule.substr(0, eq)));
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view() : Trim(rule.substr(eq + 1));
        auto twice = [&] { return StrFormat("Правило \"%s\" задано дважды", name.c_str()); };

        if (name == "off") {
            if (eq != std::string_view::npos)
                return StrFormat("Правило \"%s\": off не принимает значения", printable().c_str());
            if (parsed.bOff)
                return twice();
            parsed.bOff = true;
        } else if (name == "delay") {
            if (parsed.delay)
                return twice();
            const std::size_t dash = value.find('-');
            const auto lo = ParseDecimal(value.substr(0, dash), kMaxFaultDelayMs);
            const auto hi = dash == std::string_view::npos
                                ? lo
                                : ParseDecimal(value.substr(dash + 1), kMaxFaultDelayMs);
            if (eq == std::string_view::npos || !lo || !hi)
                return StrFormat("Правило \"%s\": задержка задаётся как delay=MS или "
                                 "delay=MIN-MAX, в миллисекундах от 0 до %u",
                                 printable().c_str(), static_cast<unsigned>(kMaxFaultDelayMs));
            if (*lo > *hi)
                return StrFormat("Правило \"%s\": начало диапазона задержки больше его конца",
                                 printable().c_str());
            parsed.delay = SFaultRules::SDelay{ *lo, *hi };
        } else if (name == "drop" || name == "crc") {
            std::optional<int>& field = name == "drop" ? parsed.drop : parsed.crc;
            if (field)
                return twice();
            const auto p = ParseDecimal(value, 100);
            if (eq == std::string_view::npos || !p)
                return PercentError(rule);
            field = static_cast<int>(*p);
        } else if (name == "exception") {
            if (parsed.exception)
                return twice();
            const std::size_t colon = value.find(':');
            const auto code = ParseCode(value.substr(0, colon));
            if (eq == std::string_view::npos || !code || *code < 1 || *code > 0xFF)
                return StrFormat("Правило \"%s\": код исключения должен быть числом от 1 до 255 "
                                 "(0x01-0xFF)",
                                 printable().c_str());
            SFaultRules::SException exc;
            exc.byCode = static_cast<std::uint8_t>(*code);
            if (colon != std::string_view::npos) {
                const auto p = ParseDecimal(value.substr(colon + 1), 100);
                if (!p)
                    return PercentError(rule);
                exc.nPercent = static_cast<int>(*p);
            }
            parsed.exception = exc;
        } else {
            return StrFormat("Неизвестное правило неисправности \"%s\"; допустимы: %s",
                             printable().c_str(), kSyntax);
        }
    }
    if (parsed.bOff && items.size() > 1)
        return "Правило off (устройство не отвечает) не сочетается с другими правилами";
    rules = parsed;
    return std::string();
}

std::string FormatDelayRule(const SFaultRules::SDelay& delay)
{
    if (delay.dwMin == delay.dwMax)
        return StrFormat("delay=%u", static_cast<unsigned>(delay.dwMin));
    return StrFormat("delay=%u-%u", static_cast<unsigned>(delay.dwMin),
                     static_cast<unsigned>(delay.dwMax));
}

std::string FormatPercentRule(const char* name, int percent)
{
    return StrFormat("%s=%d", name, percent);
}

std::string FormatExceptionRule(const SFaultRules::SException& exception)
{
    if (exception.nPercent == 100)
        return StrFormat("exception=%u", static_cast<unsigned>(exception.byCode));
    return StrFormat("exception=%u:%d", static_cast<unsigned>(exception.byCode),
                     exception.nPercent);
}

std::string FormatFaultRules(const SFaultRules& rules)
{
    std::vector<std::string> parts;
    if (rules.bOff)
        parts.emplace_back("off");
    if (rules.delay)
        parts.push_back(FormatDelayRule(*rules.delay));
    if (rules.drop)
        parts.push_back(FormatPercentRule("drop", *rules.drop));
    if (rules.crc)
        parts.push_back(FormatPercentRule("crc", *rules.crc));
    if (rules.exception)
        parts.push_back(FormatExceptionRule(*rules.exception));
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty())
            text += ',';
        text += part;
    }
    return text;
}

} // namespace korvex
