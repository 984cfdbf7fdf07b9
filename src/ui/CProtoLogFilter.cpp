#include "ui/CProtoLogFilter.h"

#include "core/Types.h"

namespace korvex {

bool SLogFilter::Accepts(const CProtoLogModel::SRow& row) const
{
    if (bProblemsOnly && !row.IsProblem())
        return false;
    if (nDirection == REQUESTS && row.nKind != LK_REQUEST)
        return false;
    if (nDirection == ANSWERS && row.nKind != LK_RESPONSE && row.nKind != LK_ERROR)
        return false;
    if (nFunction >= 0 && row.nFunction != nFunction)
        return false;
    if (!strDevice.isEmpty()) {
        bool number = false;
        const int addr = strDevice.toInt(&number, 0);
        if (number ? row.nAddress != addr
                   : row.strDevice.compare(strDevice, Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

CProtoLogFilter::CProtoLogFilter(CProtoLogModel& log, QObject* parent)
    : QAbstractTableModel(parent), m_log(log)
{
    m_llTested = m_log.EndSerial();
    connect(&m_log, &QAbstractItemModel::rowsInserted, this, &CProtoLogFilter::Follow);
    connect(&m_log, &QAbstractItemModel::dataChanged, this, &CProtoLogFilter::Follow);
    connect(&m_log, &QAbstractItemModel::modelReset, this, &CProtoLogFilter::Follow);
}

void CProtoLogFilter::SetFilter(const SLogFilter& filter)
{
    beginResetModel();
    m_filter = filter;
    m_serials.clear();
    const std::int64_t first = m_log.FirstSerial();
    for (int r = 0; r < m_log.GetLineCount(); ++r)
        if (m_filter.Accepts(m_log.Row(r)))
            m_serials.push_back(first + r);
    m_llTested = m_log.EndSerial();
    endResetModel();
}

void CProtoLogFilter::Follow()
{
    const std::int64_t first = m_log.FirstSerial();
    std::size_t gone = 0;
    while (gone < m_serials.size() && m_serials[gone] < first)
        ++gone;
    if (gone > 0) {
        beginRemoveRows(QModelIndex(), 0, static_cast<int>(gone) - 1);
        m_serials.erase(m_serials.begin(), m_serials.begin() + static_cast<std::ptrdiff_t>(gone));
        endRemoveRows();
    }
    std::vector<std::int64_t> added;
    for (std::int64_t s = std::max(m_llTested, first); s < m_log.EndSerial(); ++s)
        if (m_filter.Accepts(m_log.Row(static_cast<int>(s - first))))
            added.push_back(s);
    m_llTested = m_log.EndSerial();
    if (!added.empty()) {
        const int row = static_cast<int>(m_serials.size());
        beginInsertRows(QModelIndex(), row, row + static_cast<int>(added.size()) - 1);
        m_serials.insert(m_serials.end(), added.begin(), added.end());
        endInsertRows();
    }
}

int CProtoLogFilter::SourceRow(int row) const
{
    return static_cast<int>(m_serials[static_cast<std::size_t>(row)] - m_log.FirstSerial());
}

int CProtoLogFilter::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_serials.size());
}

int CProtoLogFilter::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : CProtoLogModel::COL_COUNT;
}

QVariant CProtoLogFilter::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    return m_log.data(m_log.index(SourceRow(index.row()), index.column()), role);
}

QVariant CProtoLogFilter::headerData(int section, Qt::Orientation orientation, int role) const
{
    return m_log.headerData(section, orientation, role);
}

} // namespace korvex
