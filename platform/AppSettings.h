#pragma once
// The program's settings by name, each with its default. Every accessor reads the store at
// the time of the call (another process may have changed it); the setters write at once.
//
// The colour, start-hour and days values follow the "read with -1, replace -1" rule: a missing
// value, a stored -1 or a value of the wrong type yields the default in the table below.
#include <QColor>
#include <QString>

#include "platform/SettingsStore.h"

namespace quorvane {

namespace settings {
// Sections and value names as stored. Lookups ignore case, so the spellings only matter for
// values that are written for the first time.
inline const QString kRecentSection = QStringLiteral("Recent File List");
inline const QString kSettingsSection = QStringLiteral("Settings");
inline const QString kPreviewPages = QStringLiteral("PreviewPages");
inline const QString kNetworkSection = QStringLiteral("Network");
inline const QString kRefresh = QStringLiteral("Refresh");
inline const QString kDoDBReOpen = QStringLiteral("DoDBReOpen");
inline const QString kColorsSection = QStringLiteral("Colors");
inline const QString kOccupied = QStringLiteral("Occupied");
inline const QString kUnoccupied = QStringLiteral("Unoccupied");
inline const QString kDayResSection = QStringLiteral("DayRes");  // read elsewhere as "Dayres"
inline const QString kStartHour = QStringLiteral("StartHour");
inline const QString kReservationsSection = QStringLiteral("Reservations");
inline const QString kDeleteOldRes = QStringLiteral("DeleteOldRes");
inline const QString kDataSection = QStringLiteral("Data");
inline const QString kDataDir = QStringLiteral("DataDir");
inline const QString kStartupSection = QStringLiteral("Startup");
inline const QString kStartedBefore = QStringLiteral("StartedBefore");

constexpr int kRecentFileCount = 4;
constexpr int kDefaultOccupiedColor = 0x000000FF;    // red
constexpr int kDefaultUnoccupiedColor = 0x0000FFFF;  // yellow, when nothing is stored
constexpr int kDefaultStartHour = 6;
constexpr int kDefaultDeleteOldRes = -1;  // 0 or less: never delete old reservations
}  // namespace settings

// Colour values are kept as 0x00BBGGRR.
inline QColor colorFromRef(int ref) {
    const auto u = static_cast<unsigned>(ref);
    return QColor(int(u & 0xFF), int((u >> 8) & 0xFF), int((u >> 16) & 0xFF));
}
inline int refFromColor(const QColor& c) {
    return int(unsigned(c.red()) | (unsigned(c.green()) << 8) | (unsigned(c.blue()) << 16));
}

class AppSettings {
public:
    explicit AppSettings(SettingsStore& store = appSettings()) : store_(store) {}
    SettingsStore& store() const { return store_; }

    // "Network"
    bool refresh() const;  // poll the change stamp every minute; default off
    void setRefresh(bool on);
    bool forceNetworkFlush() const;  // "DoDBReOpen"; default off
    void setForceNetworkFlush(bool on);

    // "Colors", 0x00BBGGRR
    int occupiedColor() const;  // default 0x000000FF
    void setOccupiedColor(int ref);
    int unoccupiedColor() const;  // default 0x0000FFFF
    void setUnoccupiedColor(int ref);

    // "DayRes"/"StartHour", 0-12, default 6
    int startHour() const;
    void setStartHour(int hour);

    // "Reservations"/"DeleteOldRes": days of old reservations to keep; default -1 (never).
    int deleteOldRes() const;
    void setDeleteOldRes(int days);

    // "Data"/"DataDir": folder of the installed samples; empty when not installed.
    QString dataDir() const;

    // "Startup"/"StartedBefore"
    bool startedBefore() const;
    void setStartedBefore(bool before);

    // "Recent File List"/"File1".."File4" (i = 1..4, File1 newest); empty when unset.
    QString recentFile(int i) const;
    void setRecentFile(int i, const QString& path);

    // "Settings"/"PreviewPages": pages side by side in print preview, fallback when unset.
    int previewPages(int fallback = 1) const;
    void setPreviewPages(int pages);

private:
    SettingsStore& store_;
};

}  // namespace quorvane
