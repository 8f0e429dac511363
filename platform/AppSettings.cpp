#include "platform/AppSettings.h"

namespace quorvane {

using namespace settings;

bool AppSettings::refresh() const {
    return store_.getInt(kNetworkSection, kRefresh, 0) != 0;
}
void AppSettings::setRefresh(bool on) {
    store_.setInt(kNetworkSection, kRefresh, on ? 1 : 0);
}

bool AppSettings::forceNetworkFlush() const {
    return store_.getInt(kNetworkSection, kDoDBReOpen, 0) != 0;
}
void AppSettings::setForceNetworkFlush(bool on) {
    store_.setInt(kNetworkSection, kDoDBReOpen, on ? 1 : 0);
}

int AppSettings::occupiedColor() const {
    return store_.getIntOr(kColorsSection, kOccupied, kDefaultOccupiedColor);
}
void AppSettings::setOccupiedColor(int ref) {
    store_.setInt(kColorsSection, kOccupied, ref);
}

int AppSettings::unoccupiedColor() const {
    return store_.getIntOr(kColorsSection, kUnoccupied, kDefaultUnoccupiedColor);
}
void AppSettings::setUnoccupiedColor(int ref) {
    store_.setInt(kColorsSection, kUnoccupied, ref);
}

int AppSettings::startHour() const {
    return store_.getIntOr(QStringLiteral("Dayres"), kStartHour, kDefaultStartHour);
}
void AppSettings::setStartHour(int hour) {
    store_.setInt(kDayResSection, kStartHour, hour);
}

int AppSettings::deleteOldRes() const {
    return store_.getIntOr(kReservationsSection, kDeleteOldRes, kDefaultDeleteOldRes);
}
void AppSettings::setDeleteOldRes(int days) {
    store_.setInt(kReservationsSection, kDeleteOldRes, days);
}

QString AppSettings::dataDir() const {
    return store_.getString(kDataSection, kDataDir);
}

bool AppSettings::startedBefore() const {
    return store_.getInt(kStartupSection, kStartedBefore, 0) != 0;
}
void AppSettings::setStartedBefore(bool before) {
    store_.setInt(kStartupSection, kStartedBefore, before ? 1 : 0);
}

QString AppSettings::recentFile(int i) const {
    if (i < 1 || i > kRecentFileCount) return {};
    return store_.getString(kRecentSection, QStringLiteral("File%1").arg(i));
}
void AppSettings::setRecentFile(int i, const QString& path) {
    if (i < 1 || i > kRecentFileCount) return;
    store_.setString(kRecentSection, QStringLiteral("File%1").arg(i), path);
}

int AppSettings::previewPages(int fallback) const {
    return store_.getInt(kSettingsSection, kPreviewPages, fallback);
}
void AppSettings::setPreviewPages(int pages) {
    store_.setInt(kSettingsSection, kPreviewPages, pages);
}

}  // namespace quorvane
