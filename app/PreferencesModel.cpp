#include "app/PreferencesModel.h"

#include <climits>

namespace quorvane {

namespace {

// A whole number with optional blanks around it, as an edit box holds it.
bool parseNumber(const QString& text, bool allowSign, long long& out) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return false;
    qsizetype i = 0;
    bool negative = false;
    if (allowSign && (t[0] == QLatin1Char('-') || t[0] == QLatin1Char('+'))) {
        negative = t[0] == QLatin1Char('-');
        ++i;
    }
    if (i == t.size()) return false;
    long long v = 0;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
        v = v * 10 + (c.unicode() - '0');
        if (v > INT_MAX) return false;  // too large for any setting
    }
    out = negative ? -v : v;
    return true;
}

}  // namespace

ViewPreferences ViewPreferences::load(const AppSettings& s) {
    ViewPreferences v;
    v.refresh = s.refresh();
    v.forceNetworkFlush = s.forceNetworkFlush();
    v.occupiedColor = s.occupiedColor();
    v.unoccupiedColor = s.unoccupiedColor();
    v.startHour = s.startHour();
    v.deleteOldRes = s.deleteOldRes();
    return v;
}

PreferencesModel::PreferencesModel(const ViewPreferences& view, SettingsStore& store)
    : settings_(store) {
    refresh = view.refresh;
    forceNetworkFlush = view.forceNetworkFlush;
    startHourText = QString::number(view.startHour);
    if (view.deleteOldRes < 1) {
        daysText = QString::number(prefs::kDaysWhenNeverDeleting);
        doNotDelete = true;
    } else {
        daysText = QString::number(view.deleteOldRes);
        doNotDelete = false;
    }
    occupiedColor = view.occupiedColor;
    unoccupiedColor = view.unoccupiedColor;
}

QString PreferencesModel::validateStartHour() const {
    long long v = 0;
    if (!parseNumber(startHourText, true, v) || v < prefs::kMinStartHour ||
        v > prefs::kMaxStartHour)
        return prefs::kStartHourMessage;
    return {};
}

QString PreferencesModel::validateDays() const {
    // While the box is checked the days edit is disabled and its text is not stored, so a
    // leftover text there must not hold the sheet open where the user cannot correct it.
    if (doNotDelete) return {};
    long long v = 0;
    if (!parseNumber(daysText, false, v)) return prefs::kDaysMessage;
    return {};
}

PreferencesInvalid PreferencesModel::validate() const {
    if (QString m = validateStartHour(); !m.isEmpty()) return {prefs::kPageStartHour, m};
    if (QString m = validateDays(); !m.isEmpty()) return {prefs::kPageDelete, m};
    return {};
}

int PreferencesModel::startHour() const {
    long long v = 0;
    return parseNumber(startHourText, true, v) ? int(v) : settings::kDefaultStartHour;
}

int PreferencesModel::deleteOldResValue() const {
    if (doNotDelete) return -1;
    long long v = 0;
    return parseNumber(daysText, false, v) ? int(v) : -1;
}

void PreferencesModel::selectOccupiedColor(int ref) {
    occupiedColor = ref;
    settings_.setOccupiedColor(ref);
}

void PreferencesModel::selectUnoccupiedColor(int ref) {
    unoccupiedColor = ref;
    settings_.setUnoccupiedColor(ref);
}

PreferencesStoreResult PreferencesModel::store(ViewPreferences& view) {
    PreferencesStoreResult r;
    r.invalid = validate();
    if (r.invalid.page != 0) return r;

    if (refresh != view.refresh) {
        view.refresh = refresh;
        settings_.setRefresh(refresh);
        r.refreshChanged = r.anyWritten = true;
    }
    if (forceNetworkFlush != view.forceNetworkFlush) {
        view.forceNetworkFlush = forceNetworkFlush;
        settings_.setForceNetworkFlush(forceNetworkFlush);
        r.forceFlushChanged = r.anyWritten = true;
    }
    if (unoccupiedColor != view.unoccupiedColor) {
        view.unoccupiedColor = unoccupiedColor;
        settings_.setUnoccupiedColor(unoccupiedColor);
        r.anyWritten = true;
    }
    if (occupiedColor != view.occupiedColor) {
        view.occupiedColor = occupiedColor;
        settings_.setOccupiedColor(occupiedColor);
        r.anyWritten = true;
    }
    if (const int hour = startHour(); hour != view.startHour) {
        view.startHour = hour;
        settings_.setStartHour(hour);
        r.anyWritten = true;
    }
    if (const int days = deleteOldResValue(); days != view.deleteOldRes) {
        view.deleteOldRes = days;
        settings_.setDeleteOldRes(days);
        r.daysChanged = r.anyWritten = true;
    }
    return r;
}

}  // namespace quorvane
