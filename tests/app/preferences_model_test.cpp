#include "app/PreferencesModel.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

using namespace quorvane;

namespace {

class PreferencesModelTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    SettingsStore store{dir.path() + "/Vendrik/Quorvane.ini"};
    AppSettings app{store};
};

TEST_F(PreferencesModelTest, StoredZeroDaysOpensAsThirtyCheckedAndIsWrittenBackAsMinusOne) {
    store.setInt("Reservations", "DeleteOldRes", 0);
    ViewPreferences view = ViewPreferences::load(app);
    EXPECT_EQ(view.deleteOldRes, 0);

    PreferencesModel m(view, store);
    EXPECT_EQ(m.daysText, "30");
    EXPECT_TRUE(m.doNotDelete);
    EXPECT_FALSE(m.daysEnabled());

    const PreferencesStoreResult r = m.store(view);
    EXPECT_EQ(r.invalid.page, 0);
    EXPECT_TRUE(r.anyWritten);
    EXPECT_TRUE(r.daysChanged);
    EXPECT_FALSE(r.refreshChanged);
    EXPECT_EQ(view.deleteOldRes, -1);
    EXPECT_EQ(store.getInt("Reservations", "DeleteOldRes", 99), -1);
}

TEST_F(PreferencesModelTest, UnchangedSheetWritesNothing) {
    ViewPreferences view = ViewPreferences::load(app);  // empty store: all defaults
    EXPECT_EQ(view.occupiedColor, 0x000000FF);
    EXPECT_EQ(view.unoccupiedColor, 0x0000FFFF);
    EXPECT_EQ(view.startHour, 6);
    EXPECT_EQ(view.deleteOldRes, -1);

    PreferencesModel m(view, store);
    EXPECT_EQ(m.startHourText, "6");
    const PreferencesStoreResult r = m.store(view);
    EXPECT_FALSE(r.anyWritten);
    // Nothing reached the file: every value still reads as its fallback.
    EXPECT_EQ(store.getInt("Colors", "Occupied", 12345), 12345);
    EXPECT_EQ(store.getInt("DayRes", "StartHour", 12345), 12345);
}

TEST_F(PreferencesModelTest, ZeroDaysWithBoxClearStoresZero) {
    ViewPreferences view = ViewPreferences::load(app);
    PreferencesModel m(view, store);
    m.doNotDelete = false;
    m.daysText = " 0 ";
    const PreferencesStoreResult r = m.store(view);
    ASSERT_EQ(r.invalid.page, 0);
    EXPECT_EQ(store.getInt("Reservations", "DeleteOldRes", 99), 0);
    EXPECT_EQ(view.deleteOldRes, 0);

    // A positive value opens unchecked with its days.
    store.setInt("Reservations", "DeleteOldRes", 45);
    PreferencesModel again(ViewPreferences::load(app), store);
    EXPECT_EQ(again.daysText, "45");
    EXPECT_FALSE(again.doNotDelete);
}

TEST_F(PreferencesModelTest, ResetToDefaultColoursDifferBetweenThePages) {
    ViewPreferences view;
    view.occupiedColor = 0x00123456;
    view.unoccupiedColor = 0x00654321;
    PreferencesModel m(view, store);
    m.resetOccupiedColor();
    m.resetUnoccupiedColor();
    EXPECT_EQ(m.occupiedColor, 0x000000FF);
    EXPECT_EQ(m.unoccupiedColor, 0x0000FF80);
    // Reset writes nothing until the sheet is accepted.
    EXPECT_EQ(store.getInt("Colors", "Unoccupied", -7), -7);

    const PreferencesStoreResult r = m.store(view);
    EXPECT_TRUE(r.anyWritten);
    EXPECT_EQ(app.occupiedColor(), 0x000000FF);
    EXPECT_EQ(app.unoccupiedColor(), 0x0000FF80);
    EXPECT_EQ(view.unoccupiedColor, 0x0000FF80);
    // An empty store gives yellow, not the reset colour.
    QTemporaryDir other;
    SettingsStore empty(other.path() + "/q.ini");
    EXPECT_EQ(AppSettings(empty).unoccupiedColor(), 0x0000FFFF);
}

TEST_F(PreferencesModelTest, SelectColorWritesAtOnceButLeavesTheViewCopy) {
    ViewPreferences view = ViewPreferences::load(app);
    {
        PreferencesModel m(view, store);
        m.selectUnoccupiedColor(0x00AA5500);
        m.selectOccupiedColor(0x00000080);
        // The sheet is cancelled: store() is never called.
    }
    EXPECT_EQ(app.unoccupiedColor(), 0x00AA5500);
    EXPECT_EQ(app.occupiedColor(), 0x00000080);
    EXPECT_EQ(view.unoccupiedColor, 0x0000FFFF);  // the open view keeps drawing the old one
    EXPECT_EQ(view.occupiedColor, 0x000000FF);
}

TEST_F(PreferencesModelTest, RefusedPagesKeepTheSheetOpenAndWriteNothing) {
    ViewPreferences view = ViewPreferences::load(app);
    PreferencesModel m(view, store);
    m.refresh = true;

    for (const char* bad : {"13", "-1", "", "abc", "6x", "99999999999"}) {
        m.startHourText = bad;
        const PreferencesStoreResult r = m.store(view);
        EXPECT_EQ(r.invalid.page, 2) << bad;
        EXPECT_EQ(r.invalid.message, "Enter an integer between 0 and 12.") << bad;
        EXPECT_FALSE(r.anyWritten);
    }
    EXPECT_FALSE(view.refresh);
    EXPECT_EQ(store.getInt("Network", "Refresh", 5), 5);

    for (const char* good : {"0", "12", " 8 "}) {
        m.startHourText = good;
        EXPECT_TRUE(m.validateStartHour().isEmpty()) << good;
    }

    m.startHourText = "8";
    m.doNotDelete = false;
    for (const char* bad : {"-3", "", "1.5", "ten", "+4"}) {
        m.daysText = bad;
        const PreferencesStoreResult r = m.store(view);
        EXPECT_EQ(r.invalid.page, 3) << bad;
        EXPECT_EQ(r.invalid.message, "Enter a positive integer.") << bad;
    }
    // With the box checked the disabled edit's leftover text does not block OK.
    m.doNotDelete = true;
    const PreferencesStoreResult r = m.store(view);
    EXPECT_EQ(r.invalid.page, 0);
    EXPECT_TRUE(r.refreshChanged);
    EXPECT_FALSE(r.forceFlushChanged);
    EXPECT_FALSE(r.daysChanged);  // -1 before and after
    EXPECT_EQ(app.startHour(), 8);
    EXPECT_TRUE(app.refresh());
    EXPECT_EQ(view.startHour, 8);
}

TEST_F(PreferencesModelTest, StartHourIsWrittenWhereDayresReadsIt) {
    ViewPreferences view = ViewPreferences::load(app);
    PreferencesModel m(view, store);
    m.startHourText = "10";
    m.forceNetworkFlush = true;
    const PreferencesStoreResult r = m.store(view);
    EXPECT_TRUE(r.forceFlushChanged);
    EXPECT_EQ(store.getInt("Dayres", "starthour", -1), 10);
    EXPECT_TRUE(app.forceNetworkFlush());
}

}  // namespace
