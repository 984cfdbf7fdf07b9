#pragma once

#include "core/CCounters.h"

#include <QAbstractTableModel>

namespace korvex {

// One table of the counters window over a snapshot of the counters: the
// devices with a total row last, or the transports. A new snapshot with as
// many rows changes the values in place; another number of rows resets the
// model. User-interface thread.
class CCountersModel final : public QAbstractTableModel
{
public:
    enum class Table
    {
        Devices,
        Transports,
    };

    explicit CCountersModel(Table table, QObject* parent = nullptr);

    void SetSnapshot(const SCountersSnapshot& snapshot);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QVariant DeviceData(int row, int column, int role) const;
    QVariant TransportData(int row, int column, int role) const;

    Table m_table;
    SCountersSnapshot m_snapshot;
};

} // namespace korvex
