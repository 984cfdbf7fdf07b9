// The rule syntax of injected faults: what parses, its canonical text, and
// the error texts of what does not.

#include "core/FaultRules.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

TEST(FaultRules, ValidTextsAndTheirCanonicalForm)
{
    struct
    {
        const char* text;
        const char* canonical;
    } const cases[] = {
        { "", "" },
        { "   ", "" },
        { "off", "off" },
        { " OFF ", "off" },
        { "delay=100", "delay=100" },
        { "delay=100-100", "delay=100" },
        { "delay = 20 - 300", "delay=20-300" },
        { "delay=0", "delay=0" },
        { "delay=60000", "delay=60000" },
        { "drop=0", "drop=0" },
        { "drop=100", "drop=100" },
        { "crc=5,drop=10", "drop=10,crc=5" },
        { "exception=6", "exception=6" },
        { "exception=0x06:100", "exception=6" },
        { "Exception=0xFF:25", "exception=255:25" },
        { "exception=4:0", "exception=4:0" },
        { "delay=50-80, drop=10, crc=3, exception=6:20",
          "delay=50-80,drop=10,crc=3,exception=6:20" },
    };
    for (const auto& c : cases) {
        SFaultRules rules;
        rules.bOff = true; // overwritten on success
        EXPECT_EQ(ParseFaultRules(c.text, rules), "") << c.text;
        EXPECT_EQ(FormatFaultRules(rules), c.canonical) << c.text;
        // The canonical text reads back to the same rules.
        SFaultRules again;
        EXPECT_EQ(ParseFaultRules(FormatFaultRules(rules), again), "");
        EXPECT_EQ(again, rules) << c.text;
    }

    SFaultRules r;
    ASSERT_EQ(ParseFaultRules("delay=20-300,exception=3:40", r), "");
    ASSERT_TRUE(r.delay);
    EXPECT_EQ(r.delay->dwMin, 20u);
    EXPECT_EQ(r.delay->dwMax, 300u);
    ASSERT_TRUE(r.exception);
    EXPECT_EQ(r.exception->byCode, 3);
    EXPECT_EQ(r.exception->nPercent, 40);
    EXPECT_FALSE(r.drop);
    EXPECT_FALSE(r.IsEmpty());
}

TEST(FaultRules, InvalidTextsSayWhatIsWrongAndChangeNothing)
{
    struct
    {
        const char* text;
        const char* error;
    } const cases[] = {
        { "slow=5", "Неизвестное правило неисправности \"slow=5\"; допустимы: off, delay=MS, "
                    "delay=MIN-MAX, drop=P, crc=P, exception=CODE[:P]" },
        { "delay", "Правило \"delay\": задержка задаётся как delay=MS или delay=MIN-MAX, в "
                   "миллисекундах от 0 до 60000" },
        { "delay=-5", "Правило \"delay=-5\": задержка задаётся как delay=MS или delay=MIN-MAX, "
                      "в миллисекундах от 0 до 60000" },
        { "delay=60001", "Правило \"delay=60001\": задержка задаётся как delay=MS или "
                         "delay=MIN-MAX, в миллисекундах от 0 до 60000" },
        { "delay=1.5", "Правило \"delay=1.5\": задержка задаётся как delay=MS или delay=MIN-MAX, "
                       "в миллисекундах от 0 до 60000" },
        { "delay=300-20", "Правило \"delay=300-20\": начало диапазона задержки больше его конца" },
        { "drop=101", "Правило \"drop=101\": вероятность P должна быть целым числом от 0 до 100" },
        { "crc=x", "Правило \"crc=x\": вероятность P должна быть целым числом от 0 до 100" },
        { "crc=10%", "Правило \"crc=10%\": вероятность P должна быть целым числом от 0 до 100" },
        { "exception=0", "Правило \"exception=0\": код исключения должен быть числом от 1 до 255 "
                         "(0x01-0xFF)" },
        { "exception=256", "Правило \"exception=256\": код исключения должен быть числом от 1 "
                           "до 255 (0x01-0xFF)" },
        { "exception=6:200", "Правило \"exception=6:200\": вероятность P должна быть целым "
                             "числом от 0 до 100" },
        { "off=1", "Правило \"off=1\": off не принимает значения" },
        { "drop=5,drop=6", "Правило \"drop\" задано дважды" },
        { "delay=5,,crc=1",
          "Пустое правило в списке неисправностей: правила разделяются одной запятой" },
        { "crc=1,", "Пустое правило в списке неисправностей: правила разделяются одной запятой" },
        { "off,delay=10",
          "Правило off (устройство не отвечает) не сочетается с другими правилами" },
    };
    for (const auto& c : cases) {
        SFaultRules rules;
        rules.drop = 7;
        EXPECT_EQ(ParseFaultRules(c.text, rules), c.error) << c.text;
        EXPECT_EQ(rules.drop, 7) << c.text;
        EXPECT_FALSE(rules.crc) << c.text;
    }
}

} // namespace
} // namespace korvex::test
