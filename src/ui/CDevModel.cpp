#include "ui/CDevModel.h"

#include "core/ValueType.h"

#include "core/CDevDoc.h"
#include "ui/UiText.h"

#include <QFont>
#include <QIcon>

#include <algorithm>
#include <climits>

namespace korvex {
namespace {

// Group rows carry no parent; a cell row's internal id is its group plus 1.
constexpr quintptr kGroupRow = 0;

constexpr quintptr CellRowId(std::size_t group)
{
    return static_cast<quintptr>(group) + 1;
}

constexpr std::size_t GroupOfCellRow(quintptr id)
{
    return static_cast<std::size_t>(id - 1);
}

bool IsCellType(int type)
{
    return type >= COIL && type <= IREG;
}

QIcon CellIcon(int type)
{
    static const char* const names[] = { "coil", "dinp", "hreg", "ireg" };
    static std::array<QIcon, CDevModel::kGroupCount> icons;
    if (!IsCellType(type))
        return QIcon();
    QIcon& icon = icons[static_cast<std::size_t>(type)];
    if (icon.isNull()) {
        const QString name = QLatin1String(names[type]);
        icon.addFile(QStringLiteral(":/icons/cell-%1.svg").arg(name), QSize(), QIcon::Normal);
        icon.addFile(QStringLiteral(":/icons/cell-%1-sel.svg").arg(name), QSize(), QIcon::Selected);
    }
    return icon;
}

QString Hex(unsigned value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

} // namespace

CDevModel::CDevModel(CDevDoc& device, QObject* parent)
    : QAbstractItemModel(parent), m_device(device)
{
    m_firstChanged.fill(INT_MAX);
    m_lastChanged.fill(-1);
    m_device.AddObserver(this);
}

CDevModel::~CDevModel()
{
    m_device.RemoveObserver(this);
}

QString CDevModel::ColumnCaption(int column)
{
    switch (column) {
    case COL_DESC: return QStringLiteral("Тип и наименование ячейки");
    case COL_ID: return QStringLiteral(" ID");
    case COL_ADDR: return QStringLiteral("Адрес");
    case COL_ACCESS: return QStringLiteral("RW");
    case COL_BOUNDS: return QStringLiteral("Границы");
    case COL_VALUE: return QStringLiteral("Значение");
    case COL_TYPE: return QStringLiteral("Тип");
    default: return QString();
    }
}

QString CDevModel::GroupCaption(int type)
{
    switch (type) {
    case COIL: return QStringLiteral("COILS");
    case DINP: return QStringLiteral("DISCRETE INPUTS");
    case HREG: return QStringLiteral("HOLDING REGISTERS");
    case IREG: return QStringLiteral("INPUT REGISTERS");
    default: return QString();
    }
}

void CDevModel::Rebuild()
{
    beginResetModel();
    for (SGroup& group : m_groups) {
        group.rows.clear();
        group.index.clear();
    }
    {
        std::lock_guard lock(m_device.Lock());
        for (const auto& item : m_device.Items()) {
            const int type = item->GetType();
            if (item->GetRow() == 0 || !IsCellType(type))
                continue;
            SGroup& group = m_groups[static_cast<std::size_t>(type)];
            group.index[item.get()] = static_cast<int>(group.rows.size());
            group.rows.push_back(item.get());
        }
    }
    m_bBuilt = true;
    endResetModel();
}

CDevItem* CDevModel::ItemOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.internalId() == kGroupRow)
        return nullptr;
    const SGroup& group = m_groups[GroupOfCellRow(index.internalId())];
    return index.row() < static_cast<int>(group.rows.size())
               ? group.rows[static_cast<std::size_t>(index.row())]
               : nullptr;
}

QModelIndex CDevModel::IndexOf(const CDevItem* item, int column) const
{
    const int type = item->GetType();
    if (!IsCellType(type))
        return QModelIndex();
    const SGroup& group = m_groups[static_cast<std::size_t>(type)];
    const auto it = group.index.find(item);
    if (it == group.index.end())
        return QModelIndex();
    return createIndex(it->second, column, CellRowId(static_cast<std::size_t>(type)));
}

QModelIndex CDevModel::GroupIndex(int type) const
{
    return createIndex(type, 0, kGroupRow);
}

QModelIndex CDevModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= COL_COUNT)
        return QModelIndex();
    if (!parent.isValid())
        return row < kGroupCount ? createIndex(row, column, kGroupRow) : QModelIndex();
    if (parent.internalId() != kGroupRow || parent.column() != 0)
        return QModelIndex();
    const auto g = static_cast<std::size_t>(parent.row());
    if (row >= static_cast<int>(m_groups[g].rows.size()))
        return QModelIndex();
    return createIndex(row, column, CellRowId(g));
}

QModelIndex CDevModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || child.internalId() == kGroupRow)
        return QModelIndex();
    return createIndex(static_cast<int>(GroupOfCellRow(child.internalId())), 0, kGroupRow);
}

int CDevModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return kGroupCount;
    if (parent.internalId() != kGroupRow || parent.column() != 0)
        return 0;
    return static_cast<int>(m_groups[static_cast<std::size_t>(parent.row())].rows.size());
}

int CDevModel::columnCount(const QModelIndex&) const
{
    return COL_COUNT;
}

QVariant CDevModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    if (index.internalId() == kGroupRow) {
        if (role == Qt::DisplayRole && index.column() == COL_DESC)
            return GroupCaption(index.row());
        if (role == Qt::DecorationRole && index.column() == COL_DESC)
            return CellIcon(index.row());
        if (role == Qt::FontRole) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return QVariant();
    }
    const CDevItem* item = ItemOf(index);
    if (item == nullptr)
        return QVariant();
    if (role == Qt::ToolTipRole && index.column() == COL_TYPE)
        return TypeText(*item) +
               QStringLiteral("\nТип значения выбирают двойным щелчком здесь или из "
                              "контекстного меню, для одной ячейки или выделенных");
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case COL_DESC: return Qs(item->GetDesc());
        case COL_ID: return Qs(item->GetId());
        case COL_ADDR: return Hex(item->GetAddr());
        case COL_ACCESS: return QLatin1String(CellAccessName(item->GetAccess()));
        case COL_BOUNDS: return Hex(item->GetMin()) + QLatin1Char('-') + Hex(item->GetMax());
        case COL_VALUE: return ValueText(*item);
        case COL_TYPE: return TypeText(*item);
        default: return QVariant();
        }
    }
    if (role == Qt::DecorationRole && index.column() == COL_DESC)
        return CellIcon(item->GetType());
    return QVariant();
}

QString CDevModel::ValueText(const CDevItem& item) const
{
    const std::int32_t type = item.GetType();
    const std::uint16_t addr = item.GetAddr();
    const SCellView view = m_device.GetCellView(type, addr);
    if (!view.IsDefault()) {
        const std::string typed = m_device.GetTypedValue(type, addr);
        if (!typed.empty() || IsTextType(view.type))
            return Qs(typed);
    }
    if (const auto first = m_device.GetCoveringCell(type, addr))
        return Hex(item.GetValue()) + QStringLiteral(" (часть ") + Hex(*first) + QLatin1Char(')');
    return Hex(item.GetValue());
}

QString CDevModel::TypeText(const CDevItem& item) const
{
    if (m_device.GetCoveringCell(item.GetType(), item.GetAddr()))
        return QString();
    return Qs(FormatValueType(m_device.GetCellView(item.GetType(), item.GetAddr()).type));
}

void CDevModel::RefreshViews()
{
    for (std::size_t g = 0; g < m_groups.size(); ++g)
        if (!m_groups[g].rows.empty())
            emit dataChanged(
                createIndex(0, COL_VALUE, CellRowId(g)),
                createIndex(static_cast<int>(m_groups[g].rows.size()) - 1, COL_TYPE, CellRowId(g)));
}

QVariant CDevModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return ColumnCaption(section);
    return QVariant();
}

Qt::ItemFlags CDevModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractItemModel::flags(index);
    if (index.column() == COL_VALUE && ItemOf(index) != nullptr)
        flags |= Qt::ItemIsEditable;
    return flags;
}

void CDevModel::OnItemShown(CDevItem* item)
{
    if (!m_bBuilt)
        return;
    const QModelIndex existing = IndexOf(item);
    if (existing.isValid()) {
        emit dataChanged(existing, IndexOf(item, COL_TYPE));
        return;
    }
    const int type = item->GetType();
    if (!IsCellType(type) || item->GetRow() == 0)
        return;
    SGroup& group = m_groups[static_cast<std::size_t>(type)];
    const int row = static_cast<int>(group.rows.size());
    beginInsertRows(GroupIndex(type), row, row);
    group.index[item] = row;
    group.rows.push_back(item);
    endInsertRows();
}

void CDevModel::OnItemRemoved(CDevItem* item)
{
    const QModelIndex index = IndexOf(item);
    if (!index.isValid())
        return;
    SGroup& group = m_groups[GroupOfCellRow(index.internalId())];
    beginRemoveRows(index.parent(), index.row(), index.row());
    group.rows.erase(group.rows.begin() + index.row());
    group.index.erase(item);
    for (std::size_t r = static_cast<std::size_t>(index.row()); r < group.rows.size(); ++r)
        group.index[group.rows[r]] = static_cast<int>(r);
    endRemoveRows();
}

void CDevModel::OnValuesChanged(const std::vector<CDevItem*>& items)
{
    if (!m_bBuilt)
        return;
    // One repaint per group, over the range of its changed rows.
    for (const CDevItem* item : items) {
        const QModelIndex index = IndexOf(item);
        if (!index.isValid())
            continue;
        const std::size_t g = GroupOfCellRow(index.internalId());
        m_firstChanged[g] = std::min(m_firstChanged[g], index.row());
        m_lastChanged[g] = std::max(m_lastChanged[g], index.row());
    }
    m_throttle.Request();
}

void CDevModel::FlushValues()
{
    m_throttle.Flush();
}

void CDevModel::RepaintChanged()
{
    for (std::size_t g = 0; g < m_groups.size(); ++g) {
        const int first = m_firstChanged[g];
        // Rows removed meanwhile may have shortened the group.
        const int last = std::min(m_lastChanged[g], static_cast<int>(m_groups[g].rows.size()) - 1);
        m_firstChanged[g] = INT_MAX;
        m_lastChanged[g] = -1;
        if (last >= first)
            emit dataChanged(createIndex(first, COL_VALUE, CellRowId(g)),
                             createIndex(last, COL_VALUE, CellRowId(g)));
    }
}

} // namespace korvex
