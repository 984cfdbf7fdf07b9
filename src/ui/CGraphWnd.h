#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

class QPainter;

namespace korvex {

// Times of the graph: 100-nanosecond intervals since 1601-01-01, UTC.
using FileTime = std::int64_t;
inline constexpr FileTime kFtMillisecond = 10'000;
inline constexpr FileTime kFtSecond = 10'000'000;
inline constexpr FileTime kFtMinute = 600'000'000;
inline constexpr FileTime kFtHour = 36'000'000'000;
inline constexpr FileTime kFtDay = 864'000'000'000;
// From 1601-01-01 to 1970-01-01.
inline constexpr FileTime kFtUnixEpoch = 116'444'736'000'000'000;

FileTime NowFileTime();

// One sample.
struct GRAPHWNDDATAPOINT
{
    FileTime ftTime{ 0 };
    double dValue{ 0 };
};

// The plot of one value over time: up to 101 samples, both axes scaled to
// them, value labels, time labels whose unit follows the time span, a grid,
// a frame, and the curve as an anti-aliased red line. Drawn into an image
// that is copied to the screen once per paint. User-interface thread.
class CGraphWnd final : public QWidget
{
public:
    // A rectangle as the drawing counts it: right and bottom are outside.
    struct SRect
    {
        int left{ 0 };
        int top{ 0 };
        int right{ 0 };
        int bottom{ 0 };
        int Width() const { return right - left; }
        int Height() const { return bottom - top; }
    };

    static constexpr int kMaxPoints = 101;

    explicit CGraphWnd(QWidget* parent = nullptr);

    void SetCaptions(const QString& title, const QString& xCaption, const QString& yCaption);
    // Appends a sample (the oldest goes beyond 101) and widens the bounds;
    // bounds that would be equal are widened by 1 each way.
    void AddPoint(double value, FileTime time);
    // Widens the bounds without a sample.
    void ExtendBounds(double value, FileTime time);
    int GetPointCount() const { return static_cast<int>(m_arPoints.size()); }
    GRAPHWNDDATAPOINT* GetLastPoint() { return m_arPoints.empty() ? nullptr : &m_arPoints.back(); }
    const std::vector<GRAPHWNDDATAPOINT>& GetPoints() const { return m_arPoints; }

    // The whole drawing into an image of the control's size.
    void Draw(QImage& image);
    QImage Render(QSize size);

    // Scales the axes to the plot rectangle (m_rcPlot): whole value bounds,
    // the time unit of the span and time bounds snapped to it.
    void Scale();
    // The time unit of a span (0 ms .. 6 years).
    static int ChooseTimeUnit(FileTime span);
    // The label of a time in the unit's format, under the LC_TIME locale.
    static QString FormatTimeLabel(FileTime time, int unit);
    // "%g" of the value, of its whole part when it is whole.
    static QString FormatValueLabel(double value);
    // Labels of an integer type are whole numbers in full ("4000000000",
    // not "4e+09"), rounded to the nearest.
    void SetIntegerLabels(bool integer) { m_bIntegerLabels = integer; }
    QString ValueLabel(double value) const;
    // The values of the value axis' gridlines: min, then divs equal steps up
    // to max, each computed from its index (a running sum would lose the top
    // gridline to rounding).
    static std::vector<double> ValueGrid(double min, double max, int divs);

    // The anti-aliased line of the graph (integer Wu), blending colour into
    // the image.
    static void WuLine(QImage& image, int x0, int y0, int x1, int y1, QRgb colour);
    // Each channel of the pixel: p - a * (p - c) / 255, truncated.
    static void Blend(QImage& image, int x, int y, int a, QRgb colour);

    double GetMin() const { return m_dMin; }
    double GetMax() const { return m_dMax; }
    FileTime GetStart() const { return m_ftStart; }
    FileTime GetEnd() const { return m_ftEnd; }
    int GetTimeUnit() const { return m_nTimeUnit; }
    void SetPlotRect(const SRect& rect) { m_rcPlot = rect; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int XOf(FileTime t) const;
    int YOf(double v) const;
    void DrawLabelsAndTicks(QPainter& painter, QFont& axis, QFont& vert);
    FileTime TickStep() const;
    static FileTime NextTick(FileTime t, FileTime step, int unit);

    bool m_bHasData{ false };
    bool m_bIntegerLabels{ false };
    std::vector<GRAPHWNDDATAPOINT> m_arPoints;
    int m_nValueDivs{ 20 };
    SRect m_rcClient;
    SRect m_rcPlot;
    double m_dMin{ 0 };
    double m_dMax{ 0 };
    double m_dRange{ 0 };
    double m_dScaleY{ 0 };
    FileTime m_ftStart{ 0 };
    FileTime m_ftEnd{ 0 };
    FileTime m_llSpan{ 0 };
    double m_dScaleX{ 0 };
    int m_nTimeUnit{ 0 };
    QString m_strTitle;
    QString m_strXCaption;
    QString m_strYCaption;
    int m_ptPenX{ 0 };
    int m_ptPenY{ 0 };
    QImage m_image;
};

} // namespace korvex
