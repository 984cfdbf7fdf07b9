#pragma once

#include "ui/CProtoLogModel.h"

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <deque>

namespace korvex {

// What the log shows when filtered. An empty or default field passes every
// row.
struct SLogFilter
{
    enum Direction
    {
        ALL,
        REQUESTS, // requests
        ANSWERS,  // answers, exception answers included
    };
    QString strDevice;   // a device's ID (any letter case) or a slave address
    int nFunction{ -1 }; // a function code
    int nDirection{ ALL };
    bool bProblemsOnly{ false }; // exceptions, unknown data and warnings

    bool IsEmpty() const { return *this == SLogFilter{}; }
    bool Accepts(const CProtoLogModel::SRow& row) const;
    bool operator==(const SLogFilter&) const = default;
};

// The log's rows that pass a filter, in order, as a model over the log
// model: every row of it is a row of the log, with the same columns and data.
// It follows the log by serial numbers: rows that arrive are tested once, as
// they come; rows the log drops at its limit leave; a new filter tests every
// row again. User-interface thread.
class CProtoLogFilter final : public QAbstractTableModel
{
public:
    explicit CProtoLogFilter(CProtoLogModel& log, QObject* parent = nullptr);

    void SetFilter(const SLogFilter& filter);
    const SLogFilter& GetFilter() const { return m_filter; }
    // The log's row of a row shown here.
    int SourceRow(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    // Drops what the log dropped and tests what it added.
    void Follow();

    CProtoLogModel& m_log;
    SLogFilter m_filter;
    std::deque<std::int64_t> m_serials; // of the rows shown
    std::int64_t m_llTested{ 0 };       // rows before this serial are tested
};

} // namespace korvex
