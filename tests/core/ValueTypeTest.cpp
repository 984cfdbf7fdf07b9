// Typed values over 16-bit registers: type names, word orders, texts and the
// reasons a value is refused. The register vectors were computed apart from
// this code (Python's struct.pack with big-endian formats).

#include "core/ValueType.h"
#include "core/Types.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvex::test {
namespace {

using Regs = std::vector<std::uint16_t>;

SValueType Type(const std::string& name)
{
    const auto type = ParseValueType(name);
    EXPECT_TRUE(type.has_value()) << name;
    return type.value_or(SValueType{});
}

TEST(ValueType, NamesParseAndFormat)
{
    struct
    {
        const char* name;
        const char* canonical;
        std::int32_t regs;
    } const cases[] = {
        { "hex", "hex", 1 },
        { "UINT16", "uint16", 1 },
        { "int16", "int16", 1 },
        { "bin", "bin", 1 },
        { "float32", "float32:ABCD", 2 }, // wide types default to ABCD
        { "float32:cdab", "float32:CDAB", 2 },
        { "uint32:BADC", "uint32:BADC", 2 },
        { "int32:DCBA", "int32:DCBA", 2 },
        { "uint64", "uint64:ABCD", 4 },
        { "int64:CDAB", "int64:CDAB", 4 },
        { "float64:DCBA", "float64:DCBA", 4 },
        { "ascii:8", "ascii:8", 8 },
        { "ascii:3:BADC", "ascii:3:BADC", 3 },
        { " ascii:125 ", "ascii:125", 125 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SValueType type = Type(c.name);
        EXPECT_EQ(FormatValueType(type), c.canonical);
        EXPECT_EQ(RegisterCount(type), c.regs);
        EXPECT_EQ(ParseValueType(FormatValueType(type)), type);
    }
    EXPECT_EQ(Type("hex"), SValueType{});
    for (const char* bad : { "", "float", "floot32", "int16:CDAB", "float32:ABDC", "ascii",
                             "ascii:0", "ascii:126", "ascii:x", "ascii:4:CDAB", "float32:" })
        EXPECT_FALSE(ParseValueType(bad).has_value()) << bad;

    EXPECT_TRUE(FitsCellKind(Type("bin"), COIL));
    EXPECT_TRUE(FitsCellKind(Type("int16"), DINP));
    EXPECT_FALSE(FitsCellKind(Type("float32"), COIL));
    EXPECT_FALSE(FitsCellKind(Type("ascii:1"), DINP));
    EXPECT_TRUE(FitsCellKind(Type("float64"), IREG));
}

TEST(ValueType, ValuesEncodeIntoRegistersAndDecodeBack)
{
    struct
    {
        const char* type;
        const char* text;
        Regs regs;
        const char* shown; // the decoded text
    } const cases[] = {
        { "hex", "0x41bc", { 0x41BC }, "0x41BC" },
        { "hex", "65535", { 0xFFFF }, "0xFFFF" },
        { "uint16", "40000", { 0x9C40 }, "40000" },
        { "int16", "-7", { 0xFFF9 }, "-7" },
        { "int16", "-32768", { 0x8000 }, "-32768" },
        { "int16", "0xFFFF", { 0xFFFF }, "-1" }, // hex gives the raw bits
        { "bin", "0b101", { 0x0005 }, "0000000000000101" },
        { "bin", "1000000000000001", { 0x8001 }, "1000000000000001" },
        // 23.5 is 0x41BC0000.
        { "float32:ABCD", "23.5", { 0x41BC, 0x0000 }, "23.5" },
        { "float32:CDAB", "23.5", { 0x0000, 0x41BC }, "23.5" },
        { "float32:BADC", "23.5", { 0xBC41, 0x0000 }, "23.5" },
        { "float32:DCBA", "23.5", { 0x0000, 0xBC41 }, "23.5" },
        // 0.001 is 0x3A83126F: the shortest text that reads back.
        { "float32", "0.001", { 0x3A83, 0x126F }, "0.001" },
        { "float32", "-inf", { 0xFF80, 0x0000 }, "-inf" },
        // -7 is 0xFFFFFFF9.
        { "int32:ABCD", "-7", { 0xFFFF, 0xFFF9 }, "-7" },
        { "int32:CDAB", "-7", { 0xFFF9, 0xFFFF }, "-7" },
        { "uint32:BADC", "0x11223344", { 0x2211, 0x4433 }, "287454020" },
        { "uint32:DCBA", "287454020", { 0x4433, 0x2211 }, "287454020" },
        // 1234567890123456789 is 0x112210F47DE98115.
        { "uint64:ABCD",
          "1234567890123456789",
          { 0x1122, 0x10F4, 0x7DE9, 0x8115 },
          "1234567890123456789" },
        { "uint64:CDAB",
          "1234567890123456789",
          { 0x8115, 0x7DE9, 0x10F4, 0x1122 },
          "1234567890123456789" },
        { "uint64:BADC",
          "1234567890123456789",
          { 0x2211, 0xF410, 0xE97D, 0x1581 },
          "1234567890123456789" },
        { "uint64:DCBA",
          "1234567890123456789",
          { 0x1581, 0xE97D, 0xF410, 0x2211 },
          "1234567890123456789" },
        { "int64", "-2", { 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFE }, "-2" },
        { "int64", "-9223372036854775808", { 0x8000, 0, 0, 0 }, "-9223372036854775808" },
        // -1.5 is 0xBFF8000000000000, 0.1 is 0x3FB999999999999A.
        { "float64:ABCD", "-1.5", { 0xBFF8, 0, 0, 0 }, "-1.5" },
        { "float64:CDAB", "0.1", { 0x999A, 0x9999, 0x9999, 0x3FB9 }, "0.1" },
        { "float64:DCBA", "+0.1", { 0x9A99, 0x9999, 0x9999, 0xB93F }, "0.1" },
        { "ascii:3", "AB1", { 0x4142, 0x3100, 0x0000 }, "AB1" },
        { "ascii:2:BADC", "ABC", { 0x4241, 0x0043 }, "ABC" },
        { "ascii:2", "a\\x01\\\\", { 0x6101, 0x5C00 }, "a\\x01\\\\" },
        { "ascii:2", "", { 0, 0 }, "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.text);
        const SValueType type = Type(c.type);
        Regs regs(c.regs.size(), 0x5555);
        EXPECT_EQ(EncodeValue(type, c.text, regs), "");
        EXPECT_EQ(regs, c.regs);
        EXPECT_EQ(DecodeValue(type, c.regs), c.shown);
    }
}

TEST(ValueType, RefusalsSayWhy)
{
    struct
    {
        const char* type;
        const char* text;
        const char* error;
    } const cases[] = {
        { "uint16", "70000", "\"70000\" вне диапазона 0..65535" },
        { "uint16", "-1", "\"-1\" вне диапазона 0..65535" },
        { "hex", "0x10000", "\"0x10000\" вне диапазона 0..65535" },
        { "int16", "32768", "\"32768\" вне диапазона -32768..32767" },
        { "int32", "-2147483649", "\"-2147483649\" вне диапазона -2147483648..2147483647" },
        { "uint64", "18446744073709551616",
          "\"18446744073709551616\" вне диапазона "
          "0..18446744073709551615" },
        { "uint16", "12a", "\"12a\" не число" },
        { "int16", "", "\"\" не число" },
        { "bin", "102", "\"102\" не число" },
        { "bin", "10000000000000000", "\"10000000000000000\" вне диапазона 0..65535" },
        { "float32", "1e39", "\"1e39\" вне диапазона float32" },
        { "float64", "1e400", "\"1e400\" вне диапазона float64" },
        { "float32", "23,5", "\"23,5\" не число" },
        { "ascii:2", "ABCDE", "текст \"ABCDE\" длиннее 4 знаков" },
        { "ascii:2", "Ж", "в тексте \"Ж\" есть знаки не из ASCII" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.text);
        Regs regs(4, 0x5555);
        EXPECT_EQ(EncodeValue(Type(c.type), c.text, regs), c.error);
        EXPECT_EQ(regs, Regs(4, 0x5555)) << "a refused value leaves the registers alone";
    }
}

TEST(ValueType, ValuesCompareAsTheirType)
{
    const auto order = [](const char* type, const char* a, const char* b) {
        Regs x(4), y(4);
        EXPECT_EQ(EncodeValue(Type(type), a, x), "");
        EXPECT_EQ(EncodeValue(Type(type), b, y), "");
        return CompareValues(Type(type), x, y);
    };
    EXPECT_EQ(order("int16", "-5", "3"), std::partial_ordering::less);
    EXPECT_EQ(order("uint16", "65535", "3"), std::partial_ordering::greater);
    EXPECT_EQ(order("int32:CDAB", "-70000", "-69999"), std::partial_ordering::less);
    EXPECT_EQ(order("float32:DCBA", "-0.5", "-0.25"), std::partial_ordering::less);
    EXPECT_EQ(order("float64", "2", "2.0"), std::partial_ordering::equivalent);
    EXPECT_EQ(order("float32", "nan", "1"), std::partial_ordering::unordered);
    EXPECT_EQ(order("uint64", "18446744073709551615", "1"), std::partial_ordering::greater);
    EXPECT_EQ(order("ascii:2", "A", "B"), std::partial_ordering::unordered);
}

} // namespace
} // namespace korvex::test
