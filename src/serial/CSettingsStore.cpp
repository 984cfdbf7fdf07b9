#include "serial/CSettingsStore.h"

#include "core/Version.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <limits>

namespace korvex {

namespace {

QString Key(const char* name)
{
    return QString::fromLatin1(name);
}

// A value that is missing, does not parse as an integer or does not fit the
// field is a read failure: the field takes its default. A file that cannot be
// read has no values; in a file with malformed lines the others still count.
template <typename T> void ReadInt(const QSettings& store, const char* name, T& field, T fallback)
{
    bool ok = false;
    const qlonglong value = store.value(Key(name)).toLongLong(&ok);
    if (ok && value >= static_cast<qlonglong>(std::numeric_limits<T>::min()) &&
        value <= static_cast<qlonglong>(std::numeric_limits<T>::max()))
        field = static_cast<T>(value);
    else
        field = fallback;
}

std::string ReadString(const QSettings& store, const QString& key, const std::string& fallback)
{
    const QVariant value = store.value(key);
    // An unquoted text with commas in it comes back as a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(',')).toStdString();
    if (value.typeId() == QMetaType::QString)
        return value.toString().toStdString();
    return fallback;
}

QString RecentKey(std::size_t index)
{
    return QStringLiteral("File%1").arg(index + 1);
}

} // namespace

CSettingsStore::CSettingsStore() = default;

CSettingsStore::CSettingsStore(std::string filePath) : m_strFile(std::move(filePath)) {}

std::unique_ptr<QSettings> CSettingsStore::Open() const
{
    if (m_strFile.empty())
        return std::make_unique<QSettings>(Key(kVendor), Key(kAppName));
    return std::make_unique<QSettings>(QString::fromStdString(m_strFile), QSettings::NativeFormat);
}

std::string CSettingsStore::GetFileName() const
{
    return Open()->fileName().toStdString();
}

void CSettingsStore::Load(SSettings& settings) const
{
    const SSettings defaults;
    const auto store = Open();
    store->beginGroup(Key(kSettingsGroup));
    settings.VERSION = ReadString(*store, Key("VERSION"), GetVersionText());
    ReadInt(*store, "PORT", settings.PORT, defaults.PORT);
    ReadInt(*store, "BAUD", settings.BAUD, defaults.BAUD);
    ReadInt(*store, "DATABIT", settings.DATABIT, defaults.DATABIT);
    ReadInt(*store, "PARITY", settings.PARITY, defaults.PARITY);
    ReadInt(*store, "STOPBIT", settings.STOPBIT, defaults.STOPBIT);
    ReadInt(*store, "FLOWCTRL", settings.FLOWCTRL, defaults.FLOWCTRL);
    ReadInt(*store, "RTS_CTRL_HI", settings.RTS_CTRL_HI, defaults.RTS_CTRL_HI);
    ReadInt(*store, "DTR_CTRL_HI", settings.DTR_CTRL_HI, defaults.DTR_CTRL_HI);
    ReadInt(*store, "NOSERIAL", settings.NOSERIAL, defaults.NOSERIAL);
    ReadInt(*store, "TCPON", settings.TCPON, defaults.TCPON);
    settings.TCPADDR = ReadString(*store, Key("TCPADDR"), defaults.TCPADDR);
    ReadInt(*store, "TCPPORT", settings.TCPPORT, defaults.TCPPORT);
    ReadInt(*store, "RTUTCPON", settings.RTUTCPON, defaults.RTUTCPON);
    settings.RTUTCPADDR = ReadString(*store, Key("RTUTCPADDR"), defaults.RTUTCPADDR);
    ReadInt(*store, "RTUTCPPORT", settings.RTUTCPPORT, defaults.RTUTCPPORT);
    ReadInt(*store, "CHILDSTATE", settings.CHILDSTATE, defaults.CHILDSTATE);
    ReadInt(*store, "LOGFILTER", settings.LOGFILTER, defaults.LOGFILTER);
    ReadInt(*store, "LOGCOLUMNS", settings.LOGCOLUMNS, defaults.LOGCOLUMNS);
    ReadInt(*store, "MAXLOGP", settings.MAXLOGP, defaults.MAXLOGP);
    ReadInt(*store, "MAXLOGS", settings.MAXLOGS, defaults.MAXLOGS);
    ReadInt(*store, "ADDRISHEX", settings.ADDRISHEX, defaults.ADDRISHEX);
    ReadInt(*store, "VALUEISHEX", settings.VALUEISHEX, defaults.VALUEISHEX);
    ReadInt(*store, "EDITHEX", settings.EDITHEX, defaults.EDITHEX);
    ReadInt(*store, "MBSTRICT", settings.MBSTRICT, defaults.MBSTRICT);
    ReadInt(*store, "MBCELLRULES", settings.MBCELLRULES, defaults.MBCELLRULES);
    store->endGroup();
}

bool CSettingsStore::Save(const SSettings& settings) const
{
    const auto store = Open();
    store->beginGroup(Key(kSettingsGroup));
    store->setValue(Key("VERSION"), QString::fromStdString(settings.VERSION));
    store->setValue(Key("PORT"), settings.PORT);
    store->setValue(Key("BAUD"), static_cast<qlonglong>(settings.BAUD));
    store->setValue(Key("DATABIT"), static_cast<int>(settings.DATABIT));
    store->setValue(Key("PARITY"), static_cast<int>(settings.PARITY));
    store->setValue(Key("STOPBIT"), static_cast<int>(settings.STOPBIT));
    store->setValue(Key("FLOWCTRL"), settings.FLOWCTRL);
    store->setValue(Key("RTS_CTRL_HI"), settings.RTS_CTRL_HI);
    store->setValue(Key("DTR_CTRL_HI"), settings.DTR_CTRL_HI);
    store->setValue(Key("NOSERIAL"), settings.NOSERIAL);
    store->setValue(Key("TCPON"), settings.TCPON);
    store->setValue(Key("TCPADDR"), QString::fromStdString(settings.TCPADDR));
    store->setValue(Key("TCPPORT"), settings.TCPPORT);
    store->setValue(Key("RTUTCPON"), settings.RTUTCPON);
    store->setValue(Key("RTUTCPADDR"), QString::fromStdString(settings.RTUTCPADDR));
    store->setValue(Key("RTUTCPPORT"), settings.RTUTCPPORT);
    store->setValue(Key("CHILDSTATE"), settings.CHILDSTATE);
    store->setValue(Key("LOGFILTER"), settings.LOGFILTER);
    store->setValue(Key("LOGCOLUMNS"), settings.LOGCOLUMNS);
    store->setValue(Key("MAXLOGP"), settings.MAXLOGP);
    store->setValue(Key("MAXLOGS"), settings.MAXLOGS);
    store->setValue(Key("ADDRISHEX"), settings.ADDRISHEX);
    store->setValue(Key("VALUEISHEX"), settings.VALUEISHEX);
    store->setValue(Key("EDITHEX"), settings.EDITHEX);
    store->setValue(Key("MBSTRICT"), settings.MBSTRICT);
    store->setValue(Key("MBCELLRULES"), settings.MBCELLRULES);
    store->endGroup();
    store->sync();
    return store->status() == QSettings::NoError;
}

void CSettingsStore::LoadRecent(CRecentList& list) const
{
    list.Clear();
    const auto store = Open();
    store->beginGroup(Key(kRecentGroup));
    // Oldest first, so that each Add puts the newer entry above it; Add also
    // drops anything that is not a project and repeated paths.
    for (std::size_t i = CRecentList::kMaxEntries; i-- > 0;) {
        const std::string path = ReadString(*store, RecentKey(i), "");
        if (!path.empty())
            list.Add(path);
    }
    store->endGroup();
}

bool CSettingsStore::SaveRecent(const CRecentList& list) const
{
    const auto store = Open();
    store->beginGroup(Key(kRecentGroup));
    for (std::size_t i = 0; i < CRecentList::kMaxEntries; ++i) {
        if (i < list.GetSize())
            store->setValue(RecentKey(i), QString::fromStdString(list.Get(i)));
        else
            store->remove(RecentKey(i));
    }
    store->endGroup();
    store->sync();
    return store->status() == QSettings::NoError;
}

} // namespace korvex
