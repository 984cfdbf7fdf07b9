#include "script/ScriptVariant.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace korvex {

namespace {

bool IsBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool IsDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// A script value reduced to a number once (an object's default value may
// run script code). bTrue marks the boolean true, which converts as the
// all-ones bit pattern of the target: -1, or the largest unsigned value.
struct SNumeric
{
    ScriptConv conv{ ScriptConv::Ok };
    double value{ 0.0 };
    bool bTrue{ false };
};

SNumeric ToNumeric(const QJSValue& value);

// An object's default value: valueOf, else toString, the first that gives
// a primitive (QJSValue::toPrimitive would take the text alone). A method
// that throws gives its error object, which is no primitive.
SNumeric FromObject(const QJSValue& object)
{
    for (const char* name : { "valueOf", "toString" }) {
        QJSValue method = object.property(QLatin1String(name));
        if (!method.isCallable())
            continue;
        const QJSValue result = method.callWithInstance(object);
        if (!result.isObject())
            return ToNumeric(result);
    }
    SNumeric n;
    n.conv = ScriptConv::TypeMismatch;
    return n;
}

SNumeric ToNumeric(const QJSValue& value)
{
    SNumeric n;
    if (value.isUndefined())
        return n;
    if (value.isNull()) {
        n.conv = ScriptConv::TypeMismatch;
        return n;
    }
    if (value.isBool()) {
        n.bTrue = value.toBool();
        n.value = n.bTrue ? -1.0 : 0.0;
        return n;
    }
    if (value.isNumber()) {
        n.value = value.toNumber();
        return n;
    }
    if (value.isString()) {
        n.conv = ParseScriptNumber(value.toString(), n.value);
        return n;
    }
    // A symbol has no number, and no default value either.
    if (!value.isObject()) {
        n.conv = ScriptConv::TypeMismatch;
        return n;
    }
    return FromObject(value);
}

template <typename T> ScriptConv ToInteger(const QJSValue& value, T& out)
{
    const SNumeric n = ToNumeric(value);
    if (n.conv != ScriptConv::Ok)
        return n.conv;
    if (n.bTrue) {
        out = static_cast<T>(~T{});
        return ScriptConv::Ok;
    }
    const double r = std::nearbyint(n.value);
    if (!(r >= static_cast<double>(std::numeric_limits<T>::min()) &&
          r <= static_cast<double>(std::numeric_limits<T>::max())))
        return ScriptConv::Overflow;
    out = static_cast<T>(r);
    return ScriptConv::Ok;
}

} // namespace

ScriptConv ParseScriptNumber(const QString& text, double& out)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;

    // Validate the grammar first: from_chars alone would take "inf", "nan"
    // and would refuse a leading '+'.
    std::string number;
    qsizetype i = begin;
    if (i < end && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        if (text[i] == QLatin1Char('-'))
            number += '-';
        ++i;
    }
    int digits = 0;
    for (; i < end && IsDigit(text[i]); ++i, ++digits)
        number += static_cast<char>(text[i].unicode());
    if (i < end && text[i] == QLatin1Char('.')) {
        number += '.';
        for (++i; i < end && IsDigit(text[i]); ++i, ++digits)
            number += static_cast<char>(text[i].unicode());
    }
    if (digits == 0)
        return ScriptConv::TypeMismatch;
    if (i < end && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        number += 'e';
        ++i;
        if (i < end && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
            number += static_cast<char>(text[i++].unicode());
        int expDigits = 0;
        for (; i < end && IsDigit(text[i]); ++i, ++expDigits)
            number += static_cast<char>(text[i].unicode());
        if (expDigits == 0)
            return ScriptConv::TypeMismatch;
    }
    if (i != end)
        return ScriptConv::TypeMismatch;

    double value = 0.0;
    const auto res = std::from_chars(number.data(), number.data() + number.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        // Tiny values underflow to zero; only large ones overflow.
        if (number.find("e-") != std::string::npos) {
            out = 0.0;
            return ScriptConv::Ok;
        }
        return ScriptConv::Overflow;
    }
    if (res.ec != std::errc() || res.ptr != number.data() + number.size())
        return ScriptConv::TypeMismatch;
    out = value;
    return ScriptConv::Ok;
}

ScriptConv ScriptToDouble(const QJSValue& value, double& out)
{
    const SNumeric n = ToNumeric(value);
    if (n.conv == ScriptConv::Ok)
        out = n.value;
    return n.conv;
}

ScriptConv ScriptToU32(const QJSValue& value, std::uint32_t& out)
{
    return ToInteger(value, out);
}

ScriptConv ScriptToU16(const QJSValue& value, std::uint16_t& out)
{
    return ToInteger(value, out);
}

ScriptConv ScriptToU8(const QJSValue& value, std::uint8_t& out)
{
    return ToInteger(value, out);
}

ScriptConv ScriptToI32(const QJSValue& value, std::int32_t& out)
{
    return ToInteger(value, out);
}

} // namespace korvex
