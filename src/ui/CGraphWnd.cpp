#include "ui/CGraphWnd.h"

#include <QFontDatabase>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace korvex {
namespace {

// 366 days between the ticks of the year unit, 365 in its width estimate.
constexpr FileTime kFtTickYear = 366 * kFtDay;
constexpr FileTime kFtYear = 365 * kFtDay;

std::tm BrokenDown(FileTime t)
{
    const std::time_t seconds = static_cast<std::time_t>((t - kFtUnixEpoch) / kFtSecond);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    return tm;
}

// The time of a broken-down UTC date plus the sub-second part.
FileTime FromBrokenDown(std::tm tm, FileTime fraction = 0)
{
    return static_cast<FileTime>(timegm(&tm)) * kFtSecond + kFtUnixEpoch + fraction;
}

FileTime FirstOfMonth(FileTime t)
{
    std::tm tm = BrokenDown(t);
    tm.tm_mday = 1;
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    return FromBrokenDown(tm);
}

QFont GraphFont(int pixelSize)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(std::max(1, pixelSize));
    font.setWeight(QFont::Light);
    return font;
}

} // namespace

FileTime NowFileTime()
{
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100 + kFtUnixEpoch;
}

CGraphWnd::CGraphWnd(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(120, 90);
}

void CGraphWnd::SetCaptions(const QString& title, const QString& xCaption, const QString& yCaption)
{
    m_strTitle = title;
    m_strXCaption = xCaption;
    m_strYCaption = yCaption;
}

void CGraphWnd::AddPoint(double value, FileTime time)
{
    if (m_arPoints.size() >= static_cast<std::size_t>(kMaxPoints))
        m_arPoints.erase(m_arPoints.begin());
    m_arPoints.push_back({ time, value });
    const bool bFirst = !m_bHasData;
    ExtendBounds(value, time);
    // A flat series is drawn in a band of one unit either side.
    if (!bFirst && m_dMax == m_dMin) {
        m_dMin -= 1;
        m_dMax += 1;
    }
}

void CGraphWnd::ExtendBounds(double value, FileTime time)
{
    if (!m_bHasData) {
        m_dMin = m_dMax = value;
        m_ftStart = m_ftEnd = time;
        m_bHasData = true;
        return;
    }
    m_dMin = std::min(m_dMin, value);
    m_dMax = std::max(m_dMax, value);
    m_ftStart = std::min(m_ftStart, time);
    m_ftEnd = std::max(m_ftEnd, time);
}

// ---- Scaling ---------------------------------------------------------------------

int CGraphWnd::ChooseTimeUnit(FileTime span)
{
    // The tests run in table order; a later match wins.
    int unit = 0;
    const FileTime seconds = span / kFtSecond;
    const FileTime minutes = span / kFtMinute;
    const FileTime hours = span / kFtHour;
    const FileTime days = span / kFtDay;
    const FileTime years = span / kFtYear;
    if (span < kFtSecond)
        unit = 0;
    if (seconds >= 1 && seconds <= 120)
        unit = 1;
    if (minutes >= 2 && minutes <= 120)
        unit = 2;
    if (hours >= 2 && hours <= 132)
        unit = 3;
    if (days >= 4 && days <= 180)
        unit = 4;
    if (days > 180)
        unit = 5;
    if (years > 2)
        unit = 6;
    return unit;
}

void CGraphWnd::Scale()
{
    m_dRange = m_dMax - m_dMin;
    if (m_dRange > 0) {
        m_dMin = std::floor(m_dMin);
        m_dMax = std::ceil(m_dMax);
        m_dRange = m_dMax - m_dMin;
        m_dScaleY = m_rcPlot.Height() / m_dRange;
    }
    m_llSpan = m_ftEnd - m_ftStart;
    if (m_llSpan <= kFtMillisecond)
        return;
    m_dScaleX = m_rcPlot.Width() / static_cast<double>(m_llSpan);
    m_nTimeUnit = ChooseTimeUnit(m_llSpan);

    static const FileTime units[] = { kFtMillisecond, kFtSecond, kFtMinute, kFtHour, kFtDay };
    if (m_nTimeUnit >= 1 && m_nTimeUnit <= 4) {
        const FileTime unit = units[m_nTimeUnit];
        m_ftStart -= m_ftStart % unit;
        if (m_ftEnd % unit != 0)
            m_ftEnd += unit - m_ftEnd % unit;
    } else if (m_nTimeUnit == 5) {
        m_ftStart = FirstOfMonth(m_ftStart);
        std::tm end = BrokenDown(m_ftEnd);
        if (end.tm_mday >= 2) {
            // The first of the next month, at the same time of day.
            const FileTime fraction = (m_ftEnd - kFtUnixEpoch) % kFtSecond;
            end.tm_mday = 1;
            end.tm_mon += 1;
            m_ftEnd = FromBrokenDown(end, fraction);
        }
    } else if (m_nTimeUnit == 6) {
        std::tm start = BrokenDown(m_ftStart);
        start.tm_mon = 0;
        start.tm_mday = 1;
        start.tm_hour = start.tm_min = start.tm_sec = 0;
        m_ftStart = FromBrokenDown(start);
        std::tm end = BrokenDown(m_ftEnd);
        if (!(end.tm_mon == 0 && end.tm_mday == 1)) {
            end.tm_year += 1;
            end.tm_mon = 0;
            end.tm_mday = 1;
            end.tm_hour = end.tm_min = end.tm_sec = 0;
            m_ftEnd = FromBrokenDown(end);
        }
    }
    m_dScaleY = m_dRange > 0 ? m_rcPlot.Height() / m_dRange : m_dScaleY;
    m_llSpan = m_ftEnd - m_ftStart;
    m_dScaleX = m_rcPlot.Width() / static_cast<double>(m_llSpan);
}

int CGraphWnd::XOf(FileTime t) const
{
    return m_rcPlot.left +
           static_cast<int>(std::trunc(static_cast<double>(t - m_ftStart) * m_dScaleX));
}

int CGraphWnd::YOf(double v) const
{
    return m_rcPlot.bottom - static_cast<int>(std::trunc((v - m_dMin) * m_dScaleY));
}

// ---- Labels --------------------------------------------------------------------------

QString CGraphWnd::FormatValueLabel(double value)
{
    const double whole = std::trunc(value);
    char text[64];
    std::snprintf(text, sizeof text, "%g", std::fabs(whole - value) < 0.000001 ? whole : value);
    return QString::fromLatin1(text);
}

QString CGraphWnd::ValueLabel(double value) const
{
    if (!m_bIntegerLabels)
        return FormatValueLabel(value);
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", std::round(value));
    return QString::fromLatin1(text);
}

std::vector<double> CGraphWnd::ValueGrid(double min, double max, int divs)
{
    std::vector<double> grid;
    const double step = divs > 0 ? (max - min) / divs : 0;
    if (!(step > 0))
        return grid;
    grid.reserve(static_cast<std::size_t>(divs) + 1);
    for (int i = 0; i < divs; ++i)
        grid.push_back(min + step * i);
    grid.push_back(max);
    return grid;
}

QString CGraphWnd::FormatTimeLabel(FileTime time, int unit)
{
    static const char* const formats[] = { "%c", "%c", "%x %X", "%x %H:00", "%x", "%Y %b", "%Y" };
    const std::tm tm = BrokenDown(time);
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, formats[std::clamp(unit, 0, 6)], &tm);
    QString label = QString::fromLocal8Bit(text, static_cast<qsizetype>(n));
    if (unit == 0) {
        const FileTime ms = ((time - kFtUnixEpoch) / kFtMillisecond) % 1000;
        label += QStringLiteral(".%1").arg(ms);
    }
    return label;
}

FileTime CGraphWnd::TickStep() const
{
    static const FileTime units[] = { kFtMillisecond, kFtSecond, kFtMinute, kFtHour, kFtDay };
    if (m_nTimeUnit == 0) {
        FileTime step = kFtMillisecond;
        while (m_llSpan / step >= 16)
            step += kFtMillisecond;
        return step;
    }
    if (m_nTimeUnit == 5)
        return 0; // one calendar month
    const FileTime unit = m_nTimeUnit == 6 ? kFtTickYear : units[m_nTimeUnit];
    FileTime step = unit;
    while (m_llSpan / step >= 13)
        step += unit;
    return step;
}

FileTime CGraphWnd::NextTick(FileTime t, FileTime step, int unit)
{
    if (unit != 5)
        return t + step;
    // The next first of a month: 27 days on, then day by day until the month
    // changes.
    const int month = BrokenDown(t).tm_mon;
    FileTime next = t + 27 * kFtDay;
    while (BrokenDown(next).tm_mon == month)
        next += kFtDay;
    return next;
}

void CGraphWnd::DrawLabelsAndTicks(QPainter& painter, QFont& axis, QFont& vert)
{
    // Lines in the dotted pen the caller chose, texts in black.
    const QPen linePen = painter.pen();
    const QPen textPen(Qt::black);
    painter.setPen(textPen);
    // Half a digit of room around the plot.
    painter.setFont(axis);
    const QFontMetrics axisMetrics(axis);
    const int w0 = axisMetrics.horizontalAdvance(QLatin1Char('0'));
    const int h0 = axisMetrics.height();
    m_rcPlot.top += (h0 + 1) / 2;
    m_rcPlot.bottom -= (h0 + 1) / 2;
    m_rcPlot.left += (w0 + 1) / 2;
    m_rcPlot.right -= (w0 + 1) / 2;
    m_dRange = m_dMax - m_dMin;
    m_dScaleY = m_dRange > 0 ? m_rcPlot.Height() / m_dRange : 0;

    for (const double v : ValueGrid(m_dMin, m_dMax, m_nValueDivs)) {
        const QString text = ValueLabel(v);
        painter.drawText(m_rcClient.left + 2, YOf(v) - h0 / 2, axisMetrics.horizontalAdvance(text),
                         h0, Qt::AlignLeft | Qt::AlignTop, text);
    }
    painter.drawText(m_rcClient.left + 2, m_rcClient.top + h0 / 2,
                     axisMetrics.horizontalAdvance(m_strYCaption), h0, Qt::AlignLeft | Qt::AlignTop,
                     m_strYCaption);

    painter.setFont(vert);
    const QFontMetrics vertMetrics(vert);
    const int h = vertMetrics.height();
    m_llSpan = m_ftEnd - m_ftStart;
    m_dScaleX = m_llSpan > 0 ? m_rcPlot.Width() / static_cast<double>(m_llSpan) : 0;
    const FileTime tick = TickStep();
    auto drawUp = [&](int x, int y, const QString& text) {
        painter.save();
        painter.translate(x, y);
        painter.rotate(-90);
        painter.drawText(0, 0, vertMetrics.horizontalAdvance(text), h, Qt::AlignLeft | Qt::AlignTop,
                         text);
        painter.restore();
    };
    FileTime t = m_nTimeUnit == 5 ? FirstOfMonth(m_ftStart) : m_ftStart;
    for (int guard = 0; t <= m_ftEnd && guard < 10000; ++guard) {
        painter.setPen(linePen);
        painter.drawLine(XOf(t), YOf(m_dMin), XOf(t), YOf(m_dMax));
        painter.setPen(textPen);
        drawUp(m_rcPlot.left +
                   static_cast<int>(std::trunc(static_cast<double>(t - m_ftStart) * m_dScaleX)) -
                   h / 2,
               m_rcClient.bottom - 2, FormatTimeLabel(t, m_nTimeUnit));
        t = NextTick(t, tick, m_nTimeUnit);
    }
    drawUp(m_rcClient.right - h, m_rcClient.bottom - 2, m_strXCaption);
}

// ---- Drawing ---------------------------------------------------------------------------

void CGraphWnd::Draw(QImage& image)
{
    QPainter painter(&image);
    m_rcClient = { 0, 0, image.width(), image.height() };
    painter.fillRect(image.rect(), Qt::white);
    m_rcPlot = m_rcClient;
    if (m_ftStart == m_ftEnd) {
        QFont big = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        big.setPointSize(18);
        painter.setFont(big);
        painter.setPen(Qt::black);
        painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("Инициализация..."));
        return;
    }

    int s = static_cast<int>(std::trunc(std::min(image.height(), image.width()) * 0.028));
    if (s <= 10)
        s = 11;
    if (s > 16)
        s = 16;
    QFont title = GraphFont(s * 40 / 30);
    QFont axis = GraphFont(s);
    QFont vert = GraphFont(s);
    painter.setPen(Qt::black);

    painter.setFont(title);
    const QFontMetrics titleMetrics(title);
    const int titleWidth = titleMetrics.horizontalAdvance(m_strTitle);
    painter.drawText(m_rcClient.Width() / 2 - titleWidth / 2, 0, titleWidth, titleMetrics.height(),
                     Qt::AlignLeft | Qt::AlignTop, m_strTitle);
    m_rcPlot.top += static_cast<int>(std::trunc(1.5 * titleMetrics.height()));

    Scale();
    Scale();

    // Room for the widest value label on the left, the widest time label
    // below.
    const QFontMetrics axisMetrics(axis);
    int widest = 0;
    const std::vector<double> grid = ValueGrid(m_dMin, m_dMax, m_nValueDivs);
    for (const double v : grid)
        widest = std::max(widest, axisMetrics.horizontalAdvance(ValueLabel(v)));
    m_rcPlot.left += widest;
    const QFontMetrics vertMetrics(vert);
    int longest = 0;
    for (FileTime t = m_nTimeUnit == 5 ? FirstOfMonth(m_ftStart) : m_ftStart; t <= m_ftEnd;) {
        longest = std::max(longest, vertMetrics.horizontalAdvance(FormatTimeLabel(t, m_nTimeUnit)));
        static const FileTime units[] = { kFtMillisecond, kFtSecond, kFtMinute, kFtHour,
                                          kFtDay,         0,         kFtYear };
        t = m_nTimeUnit == 5 ? NextTick(t, 0, 5) : t + units[m_nTimeUnit];
    }
    m_rcPlot.bottom -= longest;
    const int h = axisMetrics.height();
    m_rcPlot.left += h / 2;
    // Beyond the last time label, room for the upright time caption.
    m_rcPlot.right -= (h / 2) * 2 + 2 + h;
    m_rcPlot.bottom -= h / 2;

    QPen dotted(QColor(180, 180, 180), 1, Qt::DotLine);
    painter.setPen(dotted);
    DrawLabelsAndTicks(painter, axis, vert);
    painter.setPen(dotted);
    for (const double v : ValueGrid(m_dMin, m_dMax, m_nValueDivs))
        painter.drawLine(XOf(m_ftStart), YOf(v), XOf(m_ftEnd), YOf(v));

    painter.setPen(QPen(QColor(220, 220, 220), 3, Qt::SolidLine));
    painter.drawLine(XOf(m_ftStart), YOf(m_dMin), XOf(m_ftStart), YOf(m_dMax));
    painter.drawLine(XOf(m_ftEnd), YOf(m_dMin), XOf(m_ftEnd), YOf(m_dMax));
    painter.drawLine(XOf(m_ftStart), YOf(m_dMin), XOf(m_ftEnd), YOf(m_dMin));
    painter.drawLine(XOf(m_ftStart), YOf(m_dMax), XOf(m_ftEnd), YOf(m_dMax));
    painter.end();

    Scale();
    if (!m_arPoints.empty()) {
        m_ptPenX = XOf(m_arPoints.front().ftTime);
        m_ptPenY = YOf(m_arPoints.front().dValue);
        for (const GRAPHWNDDATAPOINT& p : m_arPoints) {
            const int x = XOf(p.ftTime);
            const int y = YOf(p.dValue);
            WuLine(image, m_ptPenX, m_ptPenY, x, y, qRgb(255, 0, 0));
            m_ptPenX = x;
            m_ptPenY = y;
        }
    }
}

QImage CGraphWnd::Render(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    Draw(image);
    return image;
}

void CGraphWnd::paintEvent(QPaintEvent*)
{
    if (m_image.size() != size())
        m_image = QImage(size(), QImage::Format_RGB32);
    Draw(m_image);
    QPainter(this).drawImage(0, 0, m_image);
}

// ---- The line -----------------------------------------------------------------------

void CGraphWnd::Blend(QImage& image, int x, int y, int a, QRgb c)
{
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height())
        return;
    const QRgb p = image.pixel(x, y);
    auto mix = [a](int pc, int cc) {
        return static_cast<int>(std::trunc(pc - a * (pc - cc) / 255.0));
    };
    image.setPixel(x, y,
                   qRgb(mix(qRed(p), qRed(c)), mix(qGreen(p), qGreen(c)), mix(qBlue(p), qBlue(c))));
}

void CGraphWnd::WuLine(QImage& image, int x0, int y0, int x1, int y1, QRgb colour)
{
    const int dx = std::abs(x1 - x0);
    const int dy = std::abs(y1 - y0);
    const int sx = x1 - x0 >= 1 ? 1 : -1;
    const int sy = y1 - y0 >= 1 ? 1 : -1;
    int x = x0;
    int y = y0;
    int e = 0;
    Blend(image, x0, y0, 255, colour);
    // The partner pixel q beside the main one, and the error moved on.
    auto partner = [&e](int& main, int step, int d) {
        int q = 0;
        if (e <= 0) {
            q = main - step;
        } else if (e < d && 2 * e <= d) {
            q = main + step;
        } else if (e < d) {
            q = main;
            main += step;
            e -= d;
        } else {
            main += step;
            q = main + step;
            e -= d;
        }
        return q;
    };
    if (dx < dy) {
        for (int i = 0; i < dy; ++i) {
            y += sy;
            e += dx;
            const int q = partner(x, sx, dy);
            const int w =
                static_cast<int>(std::trunc(std::fabs(static_cast<double>(e) / dy) * 255));
            Blend(image, x, y, 255 - w, colour);
            Blend(image, q, y, w, colour);
        }
    } else {
        for (int i = 0; i < dx; ++i) {
            x += sx;
            e += dy;
            const int q = partner(y, sy, dx);
            const int w =
                static_cast<int>(std::trunc(std::fabs(static_cast<double>(e) / dx) * 255));
            Blend(image, x, y, 255 - w, colour);
            Blend(image, x, q, w, colour);
        }
    }
}

} // namespace korvex
