// The graph: samples, bounds, scaling, time units, labels and the line.

#include "core/CDevItem.h"
#include "ui/CGraphDlg.h"
#include "ui/CGraphWnd.h"

#include <QImage>

#include <gtest/gtest.h>

#include <clocale>
#include <ctime>
#include <tuple>

namespace korvex::test {
namespace {

FileTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
            int millisecond = 0)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return static_cast<FileTime>(timegm(&tm)) * kFtSecond + kFtUnixEpoch +
           millisecond * kFtMillisecond;
}

TEST(Graph, SamplesExtendWhileTheValueHoldsAndTwoComePerChange)
{
    CDevItem cell(HREG, "P", "Давление", 0x10, ACCESS_RW, 0, 1000, 5);
    CGraphDlg dialog(cell);
    CGraphWnd& g = dialog.Graph();
    const FileTime t0 = At(2026, 12, 8, 10, 0, 0);
    dialog.Sample(t0);
    ASSERT_EQ(g.GetPointCount(), 2);
    EXPECT_EQ(g.GetPoints()[0].ftTime, t0 - kFtSecond);
    EXPECT_EQ(g.GetMin(), 4); // a flat start is widened by 1 each way
    EXPECT_EQ(g.GetMax(), 6);
    dialog.Sample(t0 + 2 * kFtSecond);
    EXPECT_EQ(g.GetPointCount(), 2);
    EXPECT_EQ(g.GetLastPoint()->ftTime, t0 + 2 * kFtSecond);
    EXPECT_EQ(g.GetEnd(), t0 + 2 * kFtSecond);
    cell.SetValue(7);
    dialog.Sample(t0 + 3 * kFtSecond);
    ASSERT_EQ(g.GetPointCount(), 4);
    EXPECT_EQ(g.GetPoints()[2].ftTime, t0 + 3 * kFtSecond - kFtMillisecond);
    EXPECT_EQ(g.GetPoints()[2].dValue, 7);
    EXPECT_EQ(g.GetMax(), 7);
    // At most 101 samples: of the 124 taken the oldest 23 go, the first one
    // kept is the change at 13 s; the bounds never narrow.
    for (int i = 0; i < 60; ++i) {
        cell.SetValue(static_cast<std::uint16_t>(10 + i % 2));
        dialog.Sample(t0 + (4 + i) * kFtSecond);
    }
    EXPECT_EQ(g.GetPointCount(), 101);
    EXPECT_EQ(g.GetPoints().front().ftTime, t0 + 13 * kFtSecond);
    EXPECT_EQ(g.GetLastPoint()->ftTime, t0 + 63 * kFtSecond);
    EXPECT_EQ(g.GetStart(), t0 - kFtSecond);
    EXPECT_EQ(g.GetMin(), 4);
    EXPECT_EQ(cell.GetGraphWnd(), nullptr); // the dialog here was not registered
}

TEST(Graph, TimeUnitsAtTheEdgesOfTheirRanges)
{
    struct
    {
        FileTime span;
        int unit;
    } const cases[] = {
        { kFtSecond - 1, 0 },
        { kFtSecond, 1 },
        { 120 * kFtSecond, 2 },
        { 121 * kFtSecond, 2 },
        { 119 * kFtSecond, 1 },
        { 120 * kFtMinute, 3 },
        // 4 whole days win over the hours' range, which reaches 132.
        { 2 * kFtHour - 1, 2 },
        { 96 * kFtHour - 1, 3 },
        { 96 * kFtHour, 4 },
        { 132 * kFtHour, 4 },
        { 180 * kFtDay, 4 },
        { 181 * kFtDay, 5 },
        { 2 * 365 * kFtDay, 5 },
        { 3 * 365 * kFtDay, 6 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(CGraphWnd::ChooseTimeUnit(c.span), c.unit) << c.span;
}

TEST(Graph, ScalingSnapsTheBoundsToTheUnit)
{
    CGraphWnd g;
    g.SetPlotRect({ 0, 0, 400, 200 });
    g.AddPoint(4.5, At(2026, 3, 15, 10, 0, 0, 250));
    g.AddPoint(6.2, At(2026, 3, 15, 10, 1, 30, 700));
    g.Scale();
    EXPECT_EQ(g.GetTimeUnit(), 1);
    EXPECT_EQ(g.GetMin(), 4);
    EXPECT_EQ(g.GetMax(), 7);
    EXPECT_EQ(g.GetStart(), At(2026, 3, 15, 10, 0, 0));
    EXPECT_EQ(g.GetEnd(), At(2026, 3, 15, 10, 1, 31));

    // Months: the start goes to the first of its month, the end to the first
    // of the next, keeping its time of day.
    CGraphWnd m;
    m.SetPlotRect({ 0, 0, 400, 200 });
    m.AddPoint(1, At(2026, 3, 15, 10));
    m.AddPoint(2, At(2026, 10, 20, 12, 34, 56, 500));
    m.Scale();
    EXPECT_EQ(m.GetTimeUnit(), 5);
    EXPECT_EQ(m.GetStart(), At(2026, 3, 1));
    EXPECT_EQ(m.GetEnd(), At(2026, 11, 1, 12, 34, 56, 500));

    CGraphWnd y;
    y.SetPlotRect({ 0, 0, 400, 200 });
    y.AddPoint(1, At(2020, 6, 1));
    y.AddPoint(2, At(2024, 2, 2));
    y.Scale();
    EXPECT_EQ(y.GetTimeUnit(), 6);
    EXPECT_EQ(y.GetStart(), At(2020, 1, 1));
    EXPECT_EQ(y.GetEnd(), At(2025, 1, 1));
}

TEST(Graph, LabelTexts)
{
    std::setlocale(LC_TIME, "C");
    const FileTime t = At(2026, 3, 15, 10, 5, 9, 123);
    EXPECT_EQ(CGraphWnd::FormatTimeLabel(t, 0), QStringLiteral("Sun Mar 15 10:05:09 2026.123"));
    EXPECT_EQ(CGraphWnd::FormatTimeLabel(t, 1), QStringLiteral("Sun Mar 15 10:05:09 2026"));
    EXPECT_EQ(CGraphWnd::FormatTimeLabel(t, 2), QStringLiteral("03/15/26 10:05:09"));
    EXPECT_EQ(CGraphWnd::FormatTimeLabel(t, 3), QStringLiteral("03/15/26 10:00"));
    EXPECT_EQ(CGraphWnd::FormatTimeLabel(t, 4), QStringLiteral("03/15/26"));
    EXPECT_EQ(CGraphWnd::FormatTimeLabel(t, 5), QStringLiteral("2026 Mar"));
    EXPECT_EQ(CGraphWnd::FormatTimeLabel(t, 6), QStringLiteral("2026"));
    // Whole values without a decimal point: 4, 4.1, ... 6.
    EXPECT_EQ(CGraphWnd::FormatValueLabel(4.0), QStringLiteral("4"));
    EXPECT_EQ(CGraphWnd::FormatValueLabel(4.1), QStringLiteral("4.1"));
    EXPECT_EQ(CGraphWnd::FormatValueLabel(4.0 + 10 * 0.1), QStringLiteral("5"));
    // Every gridline has its label, the top one included.
    for (const auto& [min, max, top] :
         { std::tuple{ 20.0, 4661.0, "4661" }, std::tuple{ 4.0, 6.0, "6" },
           std::tuple{ 0.0, 0.3, "0.3" } }) {
        const std::vector<double> grid = CGraphWnd::ValueGrid(min, max, 20);
        ASSERT_EQ(grid.size(), 21u) << max;
        EXPECT_EQ(CGraphWnd::FormatValueLabel(grid.back()), QString::fromLatin1(top));
        EXPECT_EQ(CGraphWnd::FormatValueLabel(grid[1]),
                  CGraphWnd::FormatValueLabel(min + (max - min) / 20));
    }
    EXPECT_TRUE(CGraphWnd::ValueGrid(5, 5, 20).empty());
}

TEST(Graph, TheLinesPixels)
{
    const QRgb white = qRgb(255, 255, 255);
    const QRgb red = qRgb(255, 0, 0);
    auto image = [&] {
        QImage i(6, 6, QImage::Format_RGB32);
        i.fill(white);
        return i;
    };
    // A line of length 0 blends its start pixel only.
    QImage dot = image();
    CGraphWnd::WuLine(dot, 2, 2, 2, 2, red);
    EXPECT_EQ(dot.pixel(2, 2), red);
    EXPECT_EQ(dot.pixel(3, 2), white);
    // Flat and 45 degrees: full pixels, the partners get nothing.
    QImage flat = image();
    CGraphWnd::WuLine(flat, 0, 0, 3, 0, red);
    QImage diagonal = image();
    CGraphWnd::WuLine(diagonal, 0, 0, 3, 3, red);
    for (int i = 0; i <= 3; ++i) {
        EXPECT_EQ(flat.pixel(i, 0), red) << i;
        EXPECT_EQ(flat.pixel(i, 1), white) << i;
        EXPECT_EQ(diagonal.pixel(i, i), red) << i;
    }
    EXPECT_EQ(diagonal.pixel(1, 2), white);
    // Steep: the weights split between the two columns.
    QImage steep = image();
    CGraphWnd::WuLine(steep, 0, 0, 1, 4, red);
    struct
    {
        int x;
        int y;
        int green;
    } const pixels[] = { { 0, 0, 0 },  { 0, 1, 63 },  { 1, 1, 192 }, { 0, 2, 127 }, { 1, 2, 128 },
                         { 1, 3, 63 }, { 0, 3, 192 }, { 1, 4, 0 },   { 0, 4, 255 } };
    for (const auto& p : pixels) {
        EXPECT_EQ(qGreen(steep.pixel(p.x, p.y)), p.green) << p.x << "," << p.y;
        EXPECT_EQ(qRed(steep.pixel(p.x, p.y)), 255);
    }
}

TEST(Graph, DrawsInitialisationUntilThereIsATimeSpanThenTheCurve)
{
    CGraphWnd g;
    g.SetCaptions(QStringLiteral("График: Давление (P)"), QStringLiteral("Время"),
                  QStringLiteral("Значение"));
    auto reds = [](const QImage& image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) == qRgb(255, 0, 0))
                    ++count;
        return count;
    };
    EXPECT_EQ(reds(g.Render(QSize(400, 300))), 0);
    const FileTime t = At(2026, 12, 8, 10);
    g.AddPoint(5, t - kFtSecond);
    g.AddPoint(5, t);
    g.AddPoint(9, t + 500 * kFtMillisecond);
    EXPECT_GT(reds(g.Render(QSize(400, 300))), 100);
}

} // namespace
} // namespace korvex::test
