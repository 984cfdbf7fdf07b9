#include "ui/CScriptLogModel.h"

#include "ui/UiText.h"

#include <QApplication>
#include <QStyle>

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

void CScriptLogModel::AddLine(const SScriptLogRecord& rec, const QString& time, int maxLines)
{
    if (maxLines > 0 && GetLineCount() >= maxLines) {
        beginRemoveRows(QModelIndex(), 0, 0);
        m_rows.pop_front();
        endRemoveRows();
    }
    const int row = GetLineCount();
    beginInsertRows(QModelIndex(), row, row);
    m_rows.push_back({ rec.nLevel, Qs(rec.strText), rec.nLine, time });
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
