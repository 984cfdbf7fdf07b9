#pragma once

#include "core/SSettings.h"
#include "files/CRecentList.h"
#include "files/IRecentStore.h"

#include <memory>
#include <string>

class QSettings;

namespace korvex {

// The persistent settings of the user, through QSettings in its native format
// (~/.config/Ternholm/Korvex.conf on Linux, so XDG_CONFIG_HOME moves it).
// Group "Settings" holds the sixteen values of SSettings under their own
// names (the fifteen of the Windows program and MBSTRICT); group "Recent File
// List" the recent projects as File1..File4.
//
// Values that are missing or cannot be read as a number of their field's type
// take their defaults; read values are not checked further. VERSION is written
// back as it was read. Write failures are reported by the result only.
// Used on the user-interface thread.
class CSettingsStore : public IRecentStore
{
public:
    static constexpr const char* kVendor = "Ternholm";
    static constexpr const char* kAppName = "Korvex";
    static constexpr const char* kSettingsGroup = "Settings";
    static constexpr const char* kRecentGroup = "Recent File List";

    // The user's store.
    CSettingsStore();
    // A store in the given file, in the same format.
    explicit CSettingsStore(std::string filePath);

    // All sixteen values; m_info is not stored and stays as it is.
    void Load(SSettings& settings) const;
    // Writes all sixteen values. False when the file could not be written.
    bool Save(const SSettings& settings) const;

    // Replaces the list with the stored one (only project paths, at most four).
    void LoadRecent(CRecentList& list) const override;
    bool SaveRecent(const CRecentList& list) const override;

    // The file behind the store.
    std::string GetFileName() const;

private:
    std::unique_ptr<QSettings> Open() const;

    std::string m_strFile; // empty: the user's store
};

} // namespace korvex
