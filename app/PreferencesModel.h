#pragma once
// The store logic of the "Preferences" property sheet, without widgets.
//
// Use:
//   ViewPreferences& copies = view's copies (ViewPreferences::load(AppSettings()) at creation);
//   PreferencesModel m(copies, appSettings());        // fills the five pages from the copies
//   ... bind the widgets to m's members; on "Select Color" OK call m.selectOccupiedColor(c)
//   ... or m.selectUnoccupiedColor(c) (these write the store at once); "Reset to Default"
//   ... calls m.resetOccupiedColor() / m.resetUnoccupiedColor() (nothing written yet).
//   On OK (or Apply of the Delete Reservations page):
//     PreferencesStoreResult r = m.store(copies);
//     if (r.invalid.page) { show r.invalid.message, switch to that page, keep the sheet open }
//     else { apply r.refreshChanged / r.forceFlushChanged / r.daysChanged to the document;
//            if (r.anyWritten) redraw the view }
//
// Pages, by dialog resource id and tab order:
//   1 = 107 "Refresh Network Reservations"  refresh, forceNetworkFlush
//   2 = 106 "Starting Hour"                 startHourText (0-12)
//   3 = 147 "Delete Reservations"           daysText, doNotDelete (edit enabled when clear)
//   4 = 142 "Reservation Color"             occupiedColor
//   5 = 143 "Background Color"              unoccupiedColor
#include <QString>

#include "platform/AppSettings.h"
#include "platform/SettingsStore.h"

namespace quorvane {

// The six preference values a group view reads when it is created and keeps for its life.
struct ViewPreferences {
    bool refresh = false;
    bool forceNetworkFlush = false;
    int occupiedColor = settings::kDefaultOccupiedColor;
    int unoccupiedColor = settings::kDefaultUnoccupiedColor;
    int startHour = settings::kDefaultStartHour;
    int deleteOldRes = settings::kDefaultDeleteOldRes;

    static ViewPreferences load(const AppSettings& s);
    bool operator==(const ViewPreferences&) const = default;
};

namespace prefs {
constexpr int kPageRefresh = 1, kPageStartHour = 2, kPageDelete = 3, kPageOccupied = 4,
              kPageUnoccupied = 5;
constexpr int kPageDialogIds[5] = {107, 106, 147, 142, 143};
constexpr int kMinStartHour = 0, kMaxStartHour = 12;
constexpr int kDaysWhenNeverDeleting = 30;  // shown when the stored value is below 1
// "Reset to Default" colours; the background one differs from the colour used when nothing is
// stored (0x0000FFFF) on purpose.
constexpr int kResetOccupiedColor = 0x000000FF;    // red
constexpr int kResetUnoccupiedColor = 0x0000FF80;  // RGB 128, 255, 0
inline const QString kStartHourMessage = QStringLiteral("Enter an integer between 0 and 12.");
inline const QString kDaysMessage = QStringLiteral("Enter a positive integer.");
}  // namespace prefs

struct PreferencesInvalid {
    int page = 0;     // 1-5 of the first page whose value is refused; 0 when all are valid
    QString message;  // the text to show (program title, warning icon)
};

struct PreferencesStoreResult {
    PreferencesInvalid invalid;      // set when nothing was stored because a page is refused
    bool anyWritten = false;         // some value was written: redraw the view
    bool refreshChanged = false;     // give the document its new "refresh from network"
    bool forceFlushChanged = false;  // give the document its new "force network flush"
    bool daysChanged = false;        // give the document its new "days to keep"
};

class PreferencesModel {
public:
    // Fills the pages from the view's copies. DeleteOldRes below 1 opens as 30 days with
    // "Do not automatically delete old reservations" checked.
    PreferencesModel(const ViewPreferences& view, SettingsStore& store);

    // Page values, bound to the widgets.
    bool refresh = false;            // 1179
    bool forceNetworkFlush = false;  // 1178
    QString startHourText;           // 1077 (up-down 1099, range 0-12)
    QString daysText;                // 1104
    bool doNotDelete = false;        // 1105
    int occupiedColor = 0;           // 0x00BBGGRR
    int unoccupiedColor = 0;

    // Label 1103 and edit 1104 are enabled exactly when the box is clear.
    bool daysEnabled() const { return !doNotDelete; }

    // Per page: an empty text when the page's value is acceptable, else the message. Used when
    // leaving a page and by store().
    QString validateStartHour() const;
    QString validateDays() const;
    PreferencesInvalid validate() const;

    // Valid only when the matching validate...() is empty.
    int startHour() const;
    // The value stored as "DeleteOldRes": -1 when not deleting, else the days.
    int deleteOldResValue() const;

    // "Reset to Default": sets the page's colour; nothing is written until store().
    void resetOccupiedColor() { occupiedColor = prefs::kResetOccupiedColor; }
    void resetUnoccupiedColor() { unoccupiedColor = prefs::kResetUnoccupiedColor; }
    // "Select Color" accepted: the page takes the colour and writes it at once, even if the
    // sheet is cancelled later. The view's copy is not touched.
    void selectOccupiedColor(int ref);
    void selectUnoccupiedColor(int ref);

    // Compares each page value with the view's copy and, for each that differs, updates the
    // copy and writes the setting. Writes nothing when a page is refused (see result.invalid).
    PreferencesStoreResult store(ViewPreferences& view);

private:
    AppSettings settings_;
};

}  // namespace quorvane
