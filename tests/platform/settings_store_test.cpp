#include "platform/AppSettings.h"
#include "platform/SettingsStore.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

using namespace quorvane;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.path() + "/Vendrik/Quorvane.ini"; }
    void writeFile(const QByteArray& content) {
        QDir().mkpath(dir.path() + "/Vendrik");
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
};

TEST_F(SettingsStoreTest, DefaultsOfAnEmptyStore) {
    SettingsStore store(path());
    AppSettings s(store);
    EXPECT_FALSE(s.refresh());
    EXPECT_FALSE(s.forceNetworkFlush());
    EXPECT_EQ(s.occupiedColor(), 0x000000FF);
    EXPECT_EQ(s.unoccupiedColor(), 0x0000FFFF);
    EXPECT_EQ(s.startHour(), 6);
    EXPECT_EQ(s.deleteOldRes(), -1);
    EXPECT_EQ(s.dataDir(), "");
    EXPECT_FALSE(s.startedBefore());
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(s.recentFile(i), "");
    EXPECT_FALSE(QFile::exists(path())) << "reading must not create the file";
}

TEST_F(SettingsStoreTest, MinusOneIsReplacedByTheDefault) {
    SettingsStore store(path());
    AppSettings s(store);
    s.setOccupiedColor(-1);
    s.setStartHour(-1);
    EXPECT_EQ(s.occupiedColor(), 0x000000FF);
    EXPECT_EQ(s.startHour(), 6);
    EXPECT_EQ(store.getInt("Colors", "Occupied", 42), -1);  // stored as written
    s.setStartHour(0);
    EXPECT_EQ(s.startHour(), 0);  // 0 is a real value, not a missing one
    EXPECT_EQ(store.getIntOr("Colors", "Missing", 77), 77);
}

TEST_F(SettingsStoreTest, NamesIgnoreCaseAndKeepOneValue) {
    {
        SettingsStore store(path());
        store.setInt("DayRes", "StartHour", 9);
        EXPECT_EQ(store.getInt("Dayres", "starthour", -1), 9);
        store.setInt("DAYRES", "STARTHOUR", 11);  // overwrites, does not add a second key
        EXPECT_EQ(store.getInt("DayRes", "StartHour", -1), 11);
        store.setString("recent file list", "file1", "/parks/Tennis Courts.rec");
        store.setString("Recent File List", "File1", "/parks/Pools.rec");
    }
    QFile f(path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_EQ(text.count("StartHour") + text.count("STARTHOUR") + text.count("starthour"), 1)
        << text.constData();
    EXPECT_EQ(text.toLower().count("file1"), 1) << text.constData();

    SettingsStore reopened(path());
    EXPECT_EQ(AppSettings(reopened).startHour(), 11);
    EXPECT_EQ(AppSettings(reopened).recentFile(1), "/parks/Pools.rec");
}

TEST_F(SettingsStoreTest, HandWrittenFileWithOtherCaseAndWrongTypes) {
    writeFile(
        "[colors]\noccupied=hello\nunoccupied=0x00FF00\n"
        "[dayres]\nstarthour=4294967295\n"
        "[network]\nrefresh=1\ndodbreopen=yes\n"
        "[Data]\nDataDir=/opt/quorvane, samples\n");
    SettingsStore store(path());
    AppSettings s(store);
    EXPECT_EQ(s.occupiedColor(), 0x000000FF);  // a text where an int belongs: the default
    EXPECT_EQ(s.unoccupiedColor(), 0x0000FF00);
    EXPECT_EQ(s.startHour(), 6);  // 0xFFFFFFFF is the -1 pattern
    EXPECT_TRUE(s.refresh());
    EXPECT_FALSE(s.forceNetworkFlush());
    EXPECT_EQ(s.dataDir(), "/opt/quorvane, samples");
    EXPECT_EQ(store.getInt("Colors", "Occupied", 3), 3);
}

TEST_F(SettingsStoreTest, TextsWithSpecialCharactersRoundTrip) {
    const QString odd = QStringLiteral("C:\\Parks\\a;b=c, \"d\" @e \u00e9\u20ac");
    {
        SettingsStore store(path());
        store.setString("Recent File List", "File2", odd);
        store.setString("Recent File List", "File3", "");
    }
    SettingsStore store(path());
    EXPECT_EQ(store.getString("Recent File List", "File2"), odd);
    EXPECT_EQ(store.getString("Recent File List", "File3", "x"), "");
}

TEST_F(SettingsStoreTest, ChangesOfAnotherStoreOnTheSameFileAreSeen) {
    SettingsStore a(path());
    SettingsStore b(path());
    AppSettings(a).setStartedBefore(true);
    EXPECT_TRUE(AppSettings(b).startedBefore());
    AppSettings(b).setDeleteOldRes(14);
    EXPECT_EQ(AppSettings(a).deleteOldRes(), 14);
    EXPECT_TRUE(AppSettings(a).startedBefore());
}

TEST(SettingsStorePath, FollowsXdgConfigHome) {
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/xdg-test");
    EXPECT_EQ(SettingsStore::defaultPath(), "/tmp/xdg-test/Vendrik/Quorvane.ini");
    qputenv("XDG_CONFIG_HOME", "relative/dir");
    EXPECT_TRUE(SettingsStore::defaultPath().endsWith("/.config/Vendrik/Quorvane.ini"));
    EXPECT_TRUE(SettingsStore::defaultPath().startsWith("/"));
    if (old.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", old);
}

TEST(ColorRef, ConvertsBothWays) {
    EXPECT_EQ(colorFromRef(0x0000FF80), QColor(128, 255, 0));
    EXPECT_EQ(refFromColor(QColor(255, 255, 0)), 0x0000FFFF);
    EXPECT_EQ(refFromColor(colorFromRef(0x00123456)), 0x00123456);
}

}  // namespace
