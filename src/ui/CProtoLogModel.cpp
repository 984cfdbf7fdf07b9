#include "ui/CProtoLogModel.h"

#include "core/Types.h"
#include "ui/UiText.h"

#include <QDateTime>

namespace korvex {

CProtoLogModel::CProtoLogModel(QObject* parent) : QAbstractTableModel(parent) {}

QString CProtoLogModel::ColumnCaption(int column)
{
    switch (column) {
    case COL_TIME: return QStringLiteral(" Время, мс ");
    case COL_DEVICE: return QStringLiteral(" Устройство ");
    case COL_ADDRESS: return QStringLiteral(" АН ");
    case COL_TEXT: return QStringLiteral(" Описание по протоколу MODBUS ");
    case COL_CLOCK: return QStringLiteral(" Время ");
    case COL_RAW: return QStringLiteral(" Кадр (hex) ");
    default: return QString();
    }
}

QIcon CProtoLogModel::KindIcon(int kind)
{
    // The icon index is the line's kind; kind 1 is never produced.
    static const char* const names[] = { "log-request", "log-unused", "log-response",
                                         "log-data",    "log-error",  "log-warning" };
    static std::array<QIcon, 6> icons;
    if (kind < 0 || kind > 5)
        return QIcon();
    QIcon& icon = icons[static_cast<std::size_t>(kind)];
    if (icon.isNull())
        icon = QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(names[kind])));
    return icon;
}

void CProtoLogModel::AddBatch(const CProtoFeed::Batch& batch, int maxLines)
{
    if (batch.empty())
        return;
    // Row by row the rule is: at the limit, the oldest row goes first. For
    // the batch: how many rows go, of the old ones and of the new ones.
    const std::size_t oldCount = m_rows.size();
    std::size_t count = oldCount;
    std::size_t removed = 0;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (maxLines > 0 && count >= static_cast<std::size_t>(maxLines))
            ++removed;
        else
            ++count;
    }
    const std::size_t removeOld = std::min(removed, oldCount);
    const std::size_t skipNew = removed - removeOld;
    m_llEndSerial += static_cast<std::int64_t>(batch.size());

    // Times run over the whole batch, the rows that never show included.
    std::vector<SRow> rows;
    rows.reserve(batch.size() - skipNew);
    for (std::size_t i = 0; i < batch.size(); ++i) {
        const CProtoFeed::INTERNAL_ADDLINE& rec = batch[i];
        const std::uint32_t delta = m_bHaveLast ? rec.dwTick - m_dwLastTick : 0;
        m_dwLastTick = rec.dwTick;
        m_bHaveLast = true;
        if (i < skipNew)
            continue;
        rows.push_back({ rec.nKind, delta, Qs(rec.szDevice), rec.nAddress, Qs(rec.szText),
                         rec.llWallMs, QByteArray::fromStdString(rec.strRaw), rec.nFunction });
    }

    // At the limit the list keeps its length: the rows move up in place (one
    // repaint of what is shown) instead of rows removed at the top, which
    // would make the view lay out every row again. Rows beyond the old
    // length are inserted.
    std::size_t next = 0;
    if (removeOld > 0) {
        m_rows.erase(m_rows.begin(), m_rows.begin() + static_cast<std::ptrdiff_t>(removeOld));
        for (; next < removeOld; ++next)
            m_rows.push_back(std::move(rows[next]));
        emit dataChanged(index(0, 0), index(static_cast<int>(oldCount) - 1, COL_COUNT - 1));
    }
    if (next < rows.size()) {
        const int first = static_cast<int>(m_rows.size());
        beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size() - next) - 1);
        for (; next < rows.size(); ++next)
            m_rows.push_back(std::move(rows[next]));
        endInsertRows();
    }
}

bool CProtoLogModel::SRow::IsProblem() const
{
    return nKind == LK_ERROR || nKind == LK_DATA || nKind == LK_WARNING;
}

QColor CProtoLogModel::ProblemColourOn(const QColor& base)
{
    // Dark red on a light background, light red on a dark one.
    return base.lightness() >= 128 ? QColor(0xA0, 0x00, 0x00) : QColor(0xFF, 0x8A, 0x80);
}

QString CProtoLogModel::RawHex(const QByteArray& raw)
{
    return QString::fromLatin1(raw.toHex(' ').toUpper());
}

QString CProtoLogModel::ClockText(std::int64_t wallMs)
{
    return QDateTime::fromMSecsSinceEpoch(wallMs).toString(QStringLiteral("hh:mm:ss.zzz"));
}

void CProtoLogModel::Clear()
{
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int CProtoLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CProtoLogModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : COL_COUNT;
}

QVariant CProtoLogModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const SRow& row = m_rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::ToolTipRole && !row.raw.isEmpty())
        return row.strText + QStringLiteral("\n") + RawHex(row.raw);
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case COL_TIME: return QString::number(row.dwDelta);
        case COL_DEVICE: return row.strDevice;
        case COL_ADDRESS: return row.nAddress > 0 ? QString::number(row.nAddress) : QString();
        case COL_TEXT: return row.strText;
        case COL_CLOCK: return ClockText(row.llWallMs);
        case COL_RAW: return RawHex(row.raw);
        default: return QVariant();
        }
    }
    if (role == Qt::ForegroundRole && row.IsProblem())
        return m_problemColour;
    if (role == Qt::DecorationRole && index.column() == COL_TIME)
        return KindIcon(row.nKind);
    return QVariant();
}

QVariant CProtoLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return ColumnCaption(section);
    return QVariant();
}

} // namespace korvex
