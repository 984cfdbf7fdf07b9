#include "ui/CScriptLogModel.h"

#include "ui/UiText.h"

#include <QApplication>
#include <QStyle>

#include <algorithm>
#include <array>

namespace korvex {

CScriptLogModel::CScriptLogModel(QObject* parent) : QAbstractTableModel(parent) {}

QString CScriptLogModel::ColumnCaption(int column)
{
    switch (column) {
    case COL_TEXT: return QStringLiteral("  Сообщение");
    case COL_TIME: return QStringLiteral("    Время    ");
    default: return QString();
    }
}

QIcon CScriptLogModel::LevelIcon(int level)
{
    static const QStyle::StandardPixmap pixmaps[] = { QStyle::SP_MessageBoxInformation,
                                                      QStyle::SP_MessageBoxWarning,
                                                      QStyle::SP_MessageBoxCritical };
    static std::array<QIcon, 3> icons;
    if (level < SL_INFORMATION || level > SL_ERROR)
        return QIcon();
    QIcon& icon = icons[static_cast<std::size_t>(level)];
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(pixmaps[level]);
    return icon;
}

CScriptLogModel::SRow CScriptLogModel::MakeRow(const SScriptLogRecord& rec, const QString& time)
{
    return { rec.nLevel, Qs(rec.strText), rec.nLine, time };
}

void CScriptLogModel::AddRows(std::vector<SRow> rows, int maxLines)
{
    // Row by row the rule is: at the limit, the oldest row goes first. For
    // the batch: how long the list ends, so how many rows go, of the old ones
    // and of the new ones.
    const std::size_t oldCount = m_rows.size();
    std::size_t length = oldCount + rows.size();
    if (maxLines > 0)
        length = std::max(oldCount, std::min(length, static_cast<std::size_t>(maxLines)));
    const std::size_t removed = oldCount + rows.size() - length;
    const std::size_t removeOld = std::min(removed, oldCount);
    const std::size_t skipNew = removed - removeOld;
    if (removeOld > 0) {
        beginRemoveRows(QModelIndex(), 0, static_cast<int>(removeOld) - 1);
        m_rows.erase(m_rows.begin(), m_rows.begin() + static_cast<std::ptrdiff_t>(removeOld));
        endRemoveRows();
    }
    if (skipNew >= rows.size())
        return;
    const int first = GetLineCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size() - skipNew) - 1);
    for (auto it = rows.begin() + static_cast<std::ptrdiff_t>(skipNew); it != rows.end(); ++it)
        m_rows.push_back(std::move(*it));
    endInsertRows();
}

void CScriptLogModel::Clear()
{
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int CScriptLogModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : GetLineCount();
}

int CScriptLogModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : COL_COUNT;
}

QVariant CScriptLogModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const SRow& row = Row(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: return index.column() == COL_TEXT ? row.strText : row.strTime;
    case Qt::DecorationRole:
        return index.column() == COL_TEXT ? QVariant(LevelIcon(row.nLevel)) : QVariant();
    case kLineRole: return row.nLine;
    default: return {};
    }
}

QVariant CScriptLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return ColumnCaption(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags CScriptLogModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace korvex
