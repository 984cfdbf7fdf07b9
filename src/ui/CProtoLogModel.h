#pragma once

#include "core/CProtoFeed.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>

#include <array>
#include <cstdint>
#include <deque>

namespace korvex {

// The rows of the protocol log: time since the previous row, device, slave
// address and the decoded text, with the icon of the line's kind; beyond
// these, the wall-clock time and the frame's raw bytes (columns a view may
// hide), and a text colour for exceptions and errors. Rows come
// in batches from the line feed and are inserted once per batch; at the
// limit each new row first drops the oldest one. User-interface thread.
class CProtoLogModel final : public QAbstractTableModel
{
public:
    enum Column
    {
        COL_TIME,
        COL_DEVICE,
        COL_ADDRESS,
        COL_TEXT,
        COL_CLOCK, // hh:mm:ss.mmm
        COL_RAW,   // the frame's bytes in hex
        COL_COUNT,
    };

    struct SRow
    {
        int nKind{ 0 };
        std::uint32_t dwDelta{ 0 }; // milliseconds since the previous row
        QString strDevice;
        int nAddress{ -1 };
        QString strText;
        std::int64_t llWallMs{ 0 };
        QByteArray raw;
        int nFunction{ -1 };

        // An exception answer, unknown data or a warning (kind 5).
        bool IsProblem() const;
    };

    explicit CProtoLogModel(QObject* parent = nullptr);

    // maxLines 0 (or less) keeps every row. A list already longer than a
    // lowered limit keeps its length: one row goes per row that comes.
    void AddBatch(const CProtoFeed::Batch& batch, int maxLines);
    // Every row goes; the time base stays, so the next row shows the time
    // since the last row before the clear.
    void Clear();
    // The next row shows 0 (every start of the emulator).
    void ResetTimeBase() { m_bHaveLast = false; }
    int GetLineCount() const { return static_cast<int>(m_rows.size()); }
    const SRow& Row(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    // Every row ever added has a serial number, one more than the last; the
    // rows kept are those from FirstSerial() to EndSerial() - 1.
    std::int64_t FirstSerial() const
    {
        return m_llEndSerial - static_cast<std::int64_t>(m_rows.size());
    }
    std::int64_t EndSerial() const { return m_llEndSerial; }
    // The text colour of exceptions and errors: one that reads on the base
    // colour of the view (its background).
    void SetProblemColour(const QColor& colour) { m_problemColour = colour; }
    static QColor ProblemColourOn(const QColor& base);
    static QString RawHex(const QByteArray& raw);
    static QString ClockText(std::int64_t wallMs);

    static QString ColumnCaption(int column);
    static QIcon KindIcon(int kind);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::deque<SRow> m_rows;
    std::int64_t m_llEndSerial{ 0 };
    QColor m_problemColour{ 0xA0, 0x00, 0x00 };
    std::uint32_t m_dwLastTick{ 0 };
    bool m_bHaveLast{ false };
};

} // namespace korvex
