#include "ui/CCountersModel.h"

#include "ui/UiText.h"

#include <QFont>

#include <iterator>

namespace korvex {
namespace {

struct SColumn
{
    const char* szTitle;
    const char* szTip;
};

constexpr SColumn kDeviceColumns[] = {
    { "ID", "Идентификатор устройства" },
    { "Адрес", "Адрес устройства (десятичный)" },
    { "Запросы", "Запросы, адресованные устройству (широковещательные тоже)" },
    { "Ответы", "Отправленные ответы, ответы-исключения тоже" },
    { "Исключения", "Ответы-исключения; по кодам — в подсказке ячейки" },
    { "Без ответа", "Запросы, оставленные без ответа: неисправность, широковещательный запрос" },
    { "Принято байт", "Байты запросов к устройству" },
    { "Отправлено байт", "Байты ответов устройства" },
    { "Запросов/с", "Запросы за последнюю полную секунду" },
};

constexpr SColumn kTransportColumns[] = {
    { "Транспорт", "Последовательная линия или сетевой адрес" },
    { "Кадры", "Кадры, принятые транспортом: запросы и чужие ответы" },
    { "Чужие адреса", "Кадры для адресов, которых нет в проекте" },
    { "Нераспознано байт", "Байты, не образовавшие кадра" },
    { "Плохие кадры", "Участки нераспознанных байт: кадры с неверной CRC" },
    { "Ответы с неверной CRC", "Ответы, которым неисправность crc испортила CRC" },
    { "Подключения", "Принятые подключения TCP" },
};

QVariant Count(std::uint64_t value)
{
    return QVariant::fromValue<qulonglong>(value);
}

// "02: 3, 04: 1" for the exceptions by code.
QString ExceptionTip(const SDevCounterValues& values)
{
    QStringList parts;
    for (const auto& [code, count] : values.exceptions)
        parts << QStringLiteral("%1: %2")
                     .arg(static_cast<int>(code), 2, 16, QLatin1Char('0'))
                     .arg(count);
    return parts.isEmpty() ? QStringLiteral("Исключений нет")
                           : QStringLiteral("По кодам: ") + parts.join(QStringLiteral(", "));
}

} // namespace

CCountersModel::CCountersModel(Table table, QObject* parent)
    : QAbstractTableModel(parent), m_table(table)
{
}

void CCountersModel::SetSnapshot(const SCountersSnapshot& snapshot)
{
    const bool sameRows = m_table == Table::Devices
                              ? snapshot.devices.size() == m_snapshot.devices.size()
                              : snapshot.transports.size() == m_snapshot.transports.size();
    if (!sameRows) {
        beginResetModel();
        m_snapshot = snapshot;
        endResetModel();
        return;
    }
    m_snapshot = snapshot;
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

int CCountersModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    // The devices end with their total.
    return m_table == Table::Devices ? static_cast<int>(m_snapshot.devices.size()) + 1
                                     : static_cast<int>(m_snapshot.transports.size());
}

int CCountersModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return m_table == Table::Devices ? static_cast<int>(std::size(kDeviceColumns))
                                     : static_cast<int>(std::size(kTransportColumns));
}

QVariant CCountersModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return QVariant();
    if (role == Qt::TextAlignmentRole && index.column() > 0)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return m_table == Table::Devices ? DeviceData(index.row(), index.column(), role)
                                     : TransportData(index.row(), index.column(), role);
}

QVariant CCountersModel::DeviceData(int row, int column, int role) const
{
    const bool total = row == static_cast<int>(m_snapshot.devices.size());
    if (role == Qt::FontRole && total) {
        QFont font;
        font.setBold(true);
        return font;
    }
    const SDevCounterValues& v =
        total ? m_snapshot.total : m_snapshot.devices[static_cast<std::size_t>(row)].values;
    if (role == Qt::ToolTipRole)
        return column == 4 ? ExceptionTip(v) : QString::fromUtf8(kDeviceColumns[column].szTip);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (column) {
    case 0:
        return total ? QStringLiteral("Всего")
                     : Qs(m_snapshot.devices[static_cast<std::size_t>(row)].strId);
    case 1:
        return total ? QVariant()
                     : QVariant(static_cast<int>(
                           m_snapshot.devices[static_cast<std::size_t>(row)].byAddr));
    case 2: return Count(v.nRequests);
    case 3: return Count(v.nAnswers);
    case 4: return Count(v.ExceptionCount());
    case 5: return Count(v.nNoAnswer);
    case 6: return Count(v.nBytesIn);
    case 7: return Count(v.nBytesOut);
    default: return Count(v.nRate);
    }
}

QVariant CCountersModel::TransportData(int row, int column, int role) const
{
    const STransportCounterValues& t = m_snapshot.transports[static_cast<std::size_t>(row)];
    if (role == Qt::ToolTipRole)
        return QString::fromUtf8(kTransportColumns[column].szTip);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (column) {
    case 0:
        return t.strName == CCounters::kLineName ? QStringLiteral("Последовательная линия")
                                                 : Qs(t.strName);
    case 1: return Count(t.nFrames);
    case 2: return Count(t.nOtherUnits);
    case 3: return Count(t.nUnrecognizedBytes);
    case 4: return Count(t.nBadFrames);
    case 5: return Count(t.nCrcFaultAnswers);
    default: return Count(t.nConnections);
    }
}

QVariant CCountersModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QVariant();
    const SColumn& c =
        m_table == Table::Devices ? kDeviceColumns[section] : kTransportColumns[section];
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(c.szTitle);
    if (role == Qt::ToolTipRole)
        return QString::fromUtf8(c.szTip);
    return QVariant();
}

} // namespace korvex
