#pragma once

#include "script/SScriptLogRecord.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <deque>
#include <vector>

namespace korvex {

// The rows of a script's log: the text with the icon of its level, and the
// local time the row was added. Each row keeps the zero-based source line
// it refers to, or -1. Rows come in batches, each one removal of the oldest
// rows and one insertion: at the limit each new row drops the oldest one.
// User-interface thread.
class CScriptLogModel final : public QAbstractTableModel
{
public:
    enum Column
    {
        COL_TEXT,
        COL_TIME,
        COL_COUNT,
    };

    // The source line of a row, for views.
    static constexpr int kLineRole = Qt::UserRole;

    struct SRow
    {
        int nLevel{ SL_INFORMATION };
        QString strText;
        int nLine{ SScriptLogRecord::kNoLine };
        QString strTime; // "HH:mm:ss"
    };

    explicit CScriptLogModel(QObject* parent = nullptr);

    // A row of the record, stamped with time ("HH:mm:ss").
    static SRow MakeRow(const SScriptLogRecord& rec, const QString& time);

    // Adds the rows at the end. maxLines 0 (or less) keeps every row; a list
    // already longer than a lowered limit keeps its length: one row goes per
    // row that comes. A batch longer than the limit shows its last rows.
    void AddRows(std::vector<SRow> rows, int maxLines);
    void Clear();
    int GetLineCount() const { return static_cast<int>(m_rows.size()); }
    const SRow& Row(int row) const { return m_rows[static_cast<std::size_t>(row)]; }

    static QString ColumnCaption(int column);
    // The style's information, warning and error icons, by level.
    static QIcon LevelIcon(int level);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::deque<SRow> m_rows;
};

} // namespace korvex
