#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace korvex {

// How the 16-bit contents of cells are shown and typed. One cell: hex (the
// default), uint16, int16, bin. Registers also: 32-bit values over the cell
// and the next, 64-bit values over four, and text over N registers.
enum class ValueKind : std::int32_t
{
    Hex,
    UInt16,
    Int16,
    Bin,
    UInt32,
    Int32,
    Float32,
    UInt64,
    Int64,
    Float64,
    Ascii,
};

// Where a wide value's bytes go, the bytes named A (most significant), B, C...:
// ABCD puts the most significant 16 bits in the first register, high byte
// first; CDAB reverses the registers; BADC swaps the bytes of each register;
// DCBA does both. Text takes ABCD (two characters a register, the first in
// the high byte) or BADC (the first in the low byte).
enum class WordOrder : std::int32_t
{
    ABCD,
    CDAB,
    BADC,
    DCBA,
};

// A display type: "hex", "uint16", "int16", "bin", "uint32:CDAB",
// "float64:DCBA", "ascii:8", "ascii:8:BADC"...
struct SValueType
{
    ValueKind kind{ ValueKind::Hex };
    WordOrder order{ WordOrder::ABCD };
    std::int32_t nTextRegs{ 0 }; // ascii: the registers of the text

    bool operator==(const SValueType&) const = default;
};

// The registers of the longest text: as many as one read returns.
inline constexpr std::int32_t kMaxTextRegs = 125;

// The type a name spells, letters in any case; wide types without an order
// take ABCD. nullopt for anything else.
std::optional<SValueType> ParseValueType(std::string_view name);
// The name of the type: lower-case kind, upper-case order, which wide types
// always carry ("float32:ABCD"), text only when it is BADC.
std::string FormatValueType(const SValueType& type);
// The registers one value of the type takes: 1, 2, 4, or N for ascii:N.
std::int32_t RegisterCount(const SValueType& type);
// Coils and discrete inputs take the one-cell types only.
bool FitsCellKind(const SValueType& type, std::int32_t cellType);
bool IsTextType(const SValueType& type);

// Writes the value the text spells into RegisterCount(type) registers; the
// reason it cannot, empty on success (regs untouched then). Integers are
// decimal with an optional sign or "0x" hexadecimal (for signed types the raw
// bits); bin takes binary digits behind an optional "0b"; floats a decimal
// number, "inf" or "nan"; text at most two characters a register, padded with
// NUL, "\xNN" and "\\" standing for any byte and a backslash.
std::string EncodeValue(const SValueType& type, std::string_view text,
                        std::span<std::uint16_t> regs);
// The registers' value as text that EncodeValue reads back to the same
// registers: hex "0x41BC", bin 16 binary digits, integers in decimal, floats
// in the shortest form that reads back exactly ("23.5"; a NaN reads back as
// the one quiet NaN), text up to its first
// NUL with other bytes outside ' '..'~' and the backslash escaped.
std::string DecodeValue(const SValueType& type, std::span<const std::uint16_t> regs);
// The value of a numeric type as a number to plot; nullopt for text.
std::optional<double> NumericValue(const SValueType& type, std::span<const std::uint16_t> regs);
// Integer types (hex, bin and the decimal ones) against floats and text.
bool IsIntegerType(const SValueType& type);
// The order of two values of a numeric type (unsigned, signed or floating
// as the type says); unordered when a float is NaN or the type is text.
std::partial_ordering CompareValues(const SValueType& type, std::span<const std::uint16_t> a,
                                    std::span<const std::uint16_t> b);

} // namespace korvex
