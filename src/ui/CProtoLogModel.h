#pragma once

#include "core/CProtoFeed.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <array>
#include <cstdint>
#include <deque>

namespace korvex {

// The rows of the protocol log: time since the previous row, device, slave
// address and the decoded text, with the icon of the line's kind. Rows come
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
        COL_COUNT,
    };

    struct SRow
    {
        int nKind{ 0 };
        std::uint32_t dwDelta{ 0 }; // milliseconds since the previous row
        QString strDevice;
        int nAddress{ -1 };
        QString strText;
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

    static QString ColumnCaption(int column);
    static QIcon KindIcon(int kind);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::deque<SRow> m_rows;
    std::uint32_t m_dwLastTick{ 0 };
    bool m_bHaveLast{ false };
};

} // namespace korvex
