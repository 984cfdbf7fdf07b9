#pragma once

#include <QJSValue>

#include <cstdint>

namespace korvex {

// Conversions of script values as the host's automation layer does them: a
// number keeps its value, a text must be a decimal number, undefined is 0,
// false 0 and true -1 (for an unsigned target its largest value), null is a
// type mismatch, and an object gives its default (primitive) value. Integer targets round to the
// nearest integer, a half to the even neighbour; a value outside the target's range (or NaN)
// overflows.
enum class ScriptConv
{
    Ok,
    TypeMismatch,
    Overflow,
};

ScriptConv ScriptToDouble(const QJSValue& value, double& out);
ScriptConv ScriptToU32(const QJSValue& value, std::uint32_t& out);
ScriptConv ScriptToU16(const QJSValue& value, std::uint16_t& out);
ScriptConv ScriptToU8(const QJSValue& value, std::uint8_t& out);
ScriptConv ScriptToI32(const QJSValue& value, std::int32_t& out);

// A decimal number with optional blanks around it, an optional sign, a
// fraction and an exponent ("12", " -1.5 ", "2e3"); hexadecimal, "Infinity"
// and "NaN" are not numbers. Values beyond a double overflow.
ScriptConv ParseScriptNumber(const QString& text, double& out);

} // namespace korvex
