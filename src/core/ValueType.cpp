#include "core/ValueType.h"

#include "core/Text.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

namespace korvex {
namespace {

struct SKindName
{
    ValueKind kind;
    const char* szName;
    std::int32_t nRegs; // 0: text, the count follows the name
};

constexpr std::array<SKindName, 11> kKinds = { {
    { ValueKind::Hex, "hex", 1 },
    { ValueKind::UInt16, "uint16", 1 },
    { ValueKind::Int16, "int16", 1 },
    { ValueKind::Bin, "bin", 1 },
    { ValueKind::UInt32, "uint32", 2 },
    { ValueKind::Int32, "int32", 2 },
    { ValueKind::Float32, "float32", 2 },
    { ValueKind::UInt64, "uint64", 4 },
    { ValueKind::Int64, "int64", 4 },
    { ValueKind::Float64, "float64", 4 },
    { ValueKind::Ascii, "ascii", 0 },
} };

constexpr std::array<const char*, 4> kOrders = { "ABCD", "CDAB", "BADC", "DCBA" };

constexpr std::string_view kBlanks = " \t\r\n";

std::string_view Trim(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return std::string_view();
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

const SKindName& KindEntry(ValueKind kind)
{
    return kKinds[static_cast<std::size_t>(kind)];
}

bool IsSigned(ValueKind kind)
{
    return kind == ValueKind::Int16 || kind == ValueKind::Int32 || kind == ValueKind::Int64;
}

bool IsFloat(ValueKind kind)
{
    return kind == ValueKind::Float32 || kind == ValueKind::Float64;
}

std::optional<WordOrder> ParseOrder(std::string_view text)
{
    for (std::size_t i = 0; i < kOrders.size(); ++i)
        if (EqualsNoCase(text, kOrders[i]))
            return static_cast<WordOrder>(i);
    return std::nullopt;
}

bool ReversesRegisters(WordOrder order)
{
    return order == WordOrder::CDAB || order == WordOrder::DCBA;
}

bool SwapsBytes(WordOrder order)
{
    return order == WordOrder::BADC || order == WordOrder::DCBA;
}

std::uint16_t SwapBytes(std::uint16_t w)
{
    return static_cast<std::uint16_t>((w << 8) | (w >> 8));
}

// The value's bits, most significant word first, into the registers in the
// order; one register takes its word as it is.
void PackBits(std::uint64_t bits, WordOrder order, std::span<std::uint16_t> regs)
{
    const std::size_t n = regs.size();
    for (std::size_t i = 0; i < n; ++i) {
        std::uint16_t w = static_cast<std::uint16_t>(bits >> (16 * (n - 1 - i)));
        if (n > 1 && SwapsBytes(order))
            w = SwapBytes(w);
        regs[n > 1 && ReversesRegisters(order) ? n - 1 - i : i] = w;
    }
}

std::uint64_t UnpackBits(WordOrder order, std::span<const std::uint16_t> regs)
{
    const std::size_t n = regs.size();
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint16_t w = regs[n > 1 && ReversesRegisters(order) ? n - 1 - i : i];
        if (n > 1 && SwapsBytes(order))
            w = SwapBytes(w);
        bits = (bits << 16) | w;
    }
    return bits;
}

std::string Quoted(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

std::string NotANumber(std::string_view text)
{
    return Quoted(text) + " не число";
}

std::string OutOfRange(std::string_view text, const std::string& low, const std::string& high)
{
    return Quoted(text) + " вне диапазона " + low + ".." + high;
}

// The width of the kind's value in bits.
int BitWidth(ValueKind kind)
{
    return KindEntry(kind).nRegs * 16;
}

std::string EncodeInteger(const SValueType& type, std::string_view text, std::uint64_t& bits)
{
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    int base = 10;
    if (type.kind == ValueKind::Bin) {
        base = 2;
        if (digits.size() > 2 && (digits.starts_with("0b") || digits.starts_with("0B")))
            digits.remove_prefix(2);
    } else if (digits.size() > 2 && (digits.starts_with("0x") || digits.starts_with("0X"))) {
        base = 16;
        digits.remove_prefix(2);
    }
    const int width = BitWidth(type.kind);
    const std::uint64_t all = width == 64 ? ~std::uint64_t{ 0 } : (std::uint64_t{ 1 } << width) - 1;
    const bool raw = base != 10 || !IsSigned(type.kind);
    const std::string low = raw ? "0" : std::to_string(-static_cast<std::int64_t>((all >> 1)) - 1);
    const std::string high = raw ? std::to_string(all) : std::to_string(all >> 1);
    std::uint64_t magnitude = 0;
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (digits.empty() || end != digits.data() + digits.size() ||
        (ec != std::errc() && ec != std::errc::result_out_of_range))
        return NotANumber(text);
    if (ec == std::errc::result_out_of_range)
        return OutOfRange(text, low, high);
    if (raw) {
        // Raw bits (and unsigned numbers) take no sign but "-0".
        if ((negative && magnitude != 0) || magnitude > all)
            return OutOfRange(text, low, high);
        bits = magnitude;
        return std::string();
    }
    const std::uint64_t limit = (all >> 1) + (negative ? 1 : 0);
    if (magnitude > limit)
        return OutOfRange(text, low, high);
    bits = (negative ? ~magnitude + 1 : magnitude) & all;
    return std::string();
}

std::string EncodeFloat(const SValueType& type, std::string_view text, std::uint64_t& bits)
{
    std::string_view number = text;
    if (number.starts_with('+'))
        number.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || end != number.data() + number.size() ||
        (ec != std::errc() && ec != std::errc::result_out_of_range))
        return NotANumber(text);
    const char* name = KindEntry(type.kind).szName;
    if (ec == std::errc::result_out_of_range)
        return Quoted(text) + " вне диапазона " + name;
    if (type.kind == ValueKind::Float64) {
        bits = std::bit_cast<std::uint64_t>(value);
        return std::string();
    }
    if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
        return Quoted(text) + " вне диапазона " + name;
    bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
    return std::string();
}

std::string EncodeText(const SValueType& type, std::string_view text, std::span<std::uint16_t> regs)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            bytes += '\\';
            ++i;
        } else if (c == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
                   HexDigit(text[i + 2]) >= 0 && HexDigit(text[i + 3]) >= 0) {
            bytes += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
            i += 3;
        } else if (c < 0x20 || c > 0x7E) {
            return "в тексте " + Quoted(text) + " есть знаки не из ASCII";
        } else {
            bytes += static_cast<char>(c);
        }
    }
    if (bytes.size() > regs.size() * 2)
        return "текст " + Quoted(text) + " длиннее " + std::to_string(regs.size() * 2) + " знаков";
    bytes.resize(regs.size() * 2, '\0');
    for (std::size_t r = 0; r < regs.size(); ++r) {
        const auto first = static_cast<std::uint8_t>(bytes[2 * r]);
        const auto second = static_cast<std::uint8_t>(bytes[2 * r + 1]);
        const auto w = static_cast<std::uint16_t>(first << 8 | second);
        regs[r] = type.order == WordOrder::BADC ? SwapBytes(w) : w;
    }
    return std::string();
}

std::string DecodeText(const SValueType& type, std::span<const std::uint16_t> regs)
{
    std::string bytes;
    for (std::uint16_t w : regs) {
        if (type.order == WordOrder::BADC)
            w = SwapBytes(w);
        bytes += static_cast<char>(w >> 8);
        bytes += static_cast<char>(w & 0xFF);
    }
    bytes.resize(std::min(bytes.size(), bytes.find('\0')));
    std::string text;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\')
            text += "\\\\";
        else if (c < 0x20 || c > 0x7E)
            text += StrFormat("\\x%02X", c);
        else
            text += ch;
    }
    return text;
}

template <typename T> std::string ShortestFloat(T value)
{
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

// A numeric value widened for comparison.
struct SNumber
{
    std::uint64_t u{ 0 };
    std::int64_t s{ 0 };
    double f{ 0 };
};

SNumber ToNumber(const SValueType& type, std::span<const std::uint16_t> regs)
{
    const std::uint64_t bits = UnpackBits(type.order, regs);
    SNumber n;
    n.u = bits;
    const int width = BitWidth(type.kind);
    // Sign extension of a narrower value.
    n.s = width == 64 ? static_cast<std::int64_t>(bits)
                      : static_cast<std::int64_t>(bits << (64 - width)) >> (64 - width);
    if (type.kind == ValueKind::Float32)
        n.f = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
    else if (type.kind == ValueKind::Float64)
        n.f = std::bit_cast<double>(bits);
    return n;
}

} // namespace

std::optional<SValueType> ParseValueType(std::string_view name)
{
    name = Trim(name);
    const std::size_t colon = name.find(':');
    const std::string_view kindName = name.substr(0, colon);
    const std::string_view rest =
        colon == std::string_view::npos ? std::string_view() : name.substr(colon + 1);
    for (const SKindName& entry : kKinds) {
        if (!EqualsNoCase(kindName, entry.szName))
            continue;
        SValueType type;
        type.kind = entry.kind;
        if (entry.nRegs == 1)
            return colon == std::string_view::npos ? std::optional(type) : std::nullopt;
        if (entry.nRegs > 1) {
            if (colon == std::string_view::npos)
                return type;
            const auto order = ParseOrder(rest);
            if (!order)
                return std::nullopt;
            type.order = *order;
            return type;
        }
        // ascii:N or ascii:N:ORDER, N decimal.
        const std::size_t colon2 = rest.find(':');
        const std::string_view count = rest.substr(0, colon2);
        std::int32_t n = 0;
        const auto [end, ec] = std::from_chars(count.data(), count.data() + count.size(), n);
        if (count.empty() || ec != std::errc() || end != count.data() + count.size() || n < 1 ||
            n > kMaxTextRegs)
            return std::nullopt;
        type.nTextRegs = n;
        if (colon2 != std::string_view::npos) {
            const auto order = ParseOrder(rest.substr(colon2 + 1));
            if (!order || (*order != WordOrder::ABCD && *order != WordOrder::BADC))
                return std::nullopt;
            type.order = *order;
        }
        return type;
    }
    return std::nullopt;
}

std::string FormatValueType(const SValueType& type)
{
    const SKindName& entry = KindEntry(type.kind);
    const std::string order = kOrders[static_cast<std::size_t>(type.order)];
    if (entry.nRegs == 1)
        return entry.szName;
    if (entry.nRegs > 1)
        return std::string(entry.szName) + ":" + order;
    return std::string("ascii:") + std::to_string(type.nTextRegs) +
           (type.order == WordOrder::BADC ? ":BADC" : "");
}

std::int32_t RegisterCount(const SValueType& type)
{
    const std::int32_t n = KindEntry(type.kind).nRegs;
    return n > 0 ? n : type.nTextRegs;
}

bool FitsCellKind(const SValueType& type, std::int32_t cellType)
{
    const bool bits = cellType == 0 || cellType == 1; // COIL, DINP
    return !bits || KindEntry(type.kind).nRegs == 1;
}

bool IsTextType(const SValueType& type)
{
    return type.kind == ValueKind::Ascii;
}

std::string EncodeValue(const SValueType& type, std::string_view text,
                        std::span<std::uint16_t> regs)
{
    if (regs.size() < static_cast<std::size_t>(RegisterCount(type)))
        return "мало регистров для типа " + FormatValueType(type);
    regs = regs.first(static_cast<std::size_t>(RegisterCount(type)));
    if (IsTextType(type))
        return EncodeText(type, text, regs);
    text = Trim(text);
    std::uint64_t bits = 0;
    const std::string error =
        IsFloat(type.kind) ? EncodeFloat(type, text, bits) : EncodeInteger(type, text, bits);
    if (error.empty())
        PackBits(bits, type.order, regs);
    return error;
}

std::string DecodeValue(const SValueType& type, std::span<const std::uint16_t> regs)
{
    if (regs.size() < static_cast<std::size_t>(RegisterCount(type)))
        return std::string();
    regs = regs.first(static_cast<std::size_t>(RegisterCount(type)));
    if (IsTextType(type))
        return DecodeText(type, regs);
    const SNumber n = ToNumber(type, regs);
    switch (type.kind) {
    case ValueKind::Hex: return FormatNumber(static_cast<std::uint16_t>(n.u), true, -1);
    case ValueKind::Bin: {
        std::string digits;
        for (int bit = 15; bit >= 0; --bit)
            digits += (n.u >> bit) & 1 ? '1' : '0';
        return digits;
    }
    case ValueKind::Float32: return ShortestFloat(static_cast<float>(n.f));
    case ValueKind::Float64: return ShortestFloat(n.f);
    default: return IsSigned(type.kind) ? std::to_string(n.s) : std::to_string(n.u);
    }
}

std::partial_ordering CompareValues(const SValueType& type, std::span<const std::uint16_t> a,
                                    std::span<const std::uint16_t> b)
{
    const auto count = static_cast<std::size_t>(RegisterCount(type));
    if (IsTextType(type) || a.size() < count || b.size() < count)
        return std::partial_ordering::unordered;
    const SNumber x = ToNumber(type, a.first(count));
    const SNumber y = ToNumber(type, b.first(count));
    if (IsFloat(type.kind))
        return x.f <=> y.f;
    if (IsSigned(type.kind))
        return x.s <=> y.s;
    return x.u <=> y.u;
}

std::optional<double> NumericValue(const SValueType& type, std::span<const std::uint16_t> regs)
{
    const auto count = static_cast<std::size_t>(RegisterCount(type));
    if (IsTextType(type) || regs.size() < count)
        return std::nullopt;
    const SNumber n = ToNumber(type, regs.first(count));
    if (IsFloat(type.kind))
        return n.f;
    return IsSigned(type.kind) ? static_cast<double>(n.s) : static_cast<double>(n.u);
}

bool IsIntegerType(const SValueType& type)
{
    return !IsTextType(type) && !IsFloat(type.kind);
}

} // namespace korvex
