// The throttle of the views' repaints: at once after a quiet spell, else
// once at the end of the interval.

#include "ui/CRepaintThrottle.h"

#include <QTest>

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

TEST(RepaintThrottle, AtOnceAfterAQuietSpellElseOncePerInterval)
{
    int flushes = 0;
    CRepaintThrottle throttle(200, [&flushes] { ++flushes; });
    throttle.Request();
    EXPECT_EQ(flushes, 1);
    throttle.Request();
    throttle.Request();
    EXPECT_EQ(flushes, 1);
    EXPECT_TRUE(QTest::qWaitFor([&flushes] { return flushes == 2; }, 5000));
    // A flush asked for comes at once and starts the interval again.
    throttle.Flush();
    EXPECT_EQ(flushes, 3);
    throttle.Request();
    EXPECT_EQ(flushes, 3);
    EXPECT_TRUE(QTest::qWaitFor([&flushes] { return flushes == 4; }, 5000));
}

} // namespace
} // namespace korvex::test
