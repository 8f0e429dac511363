#pragma once
// A folder with a real customer table (and, for the commands, a group opened on it), with the
// prompter, help and file dialogs scripted.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <string>
#include <vector>

#include "../app/shell_fakes.h"
#include "app/ZUKRecDoc.h"
#include "engine/io4.h"
#include "group/GroupFile.h"
#include "platform/AppSettings.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"

namespace quorvane::testing {

struct TestCustomer {
    std::string first, mi, last, phone, org, address, city, state, zip;
};

// Filling test tables does not need every append on the disk.
struct NoSyncIo final : Io4 {
    int fdatasync(int) override { return 0; }
};

class ExportFixture : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string folder, groupPath;
    std::unique_ptr<SettingsStore> store;
    RecordingPrompter prompter;
    RecordingHelpService help;
    ScriptedDialogs dialogs;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // QUORVANE_KEEP_TEST_FILES=1 leaves the exported files for a look.
        if (qEnvironmentVariableIsSet("QUORVANE_KEEP_TEST_FILES")) dir.setAutoRemove(false);
        folder = dir.path().toStdString();
        groupPath = folder + "/Club.rec";
        store = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("cfg/Quorvane.ini")));
        setAppSettings(store.get());
        setAppPrompter(&prompter);
        setAppHelp(&help);
        setAppDialogs(&dialogs);
    }
    void TearDown() override {
        setAppDialogs(nullptr);
        setAppHelp(nullptr);
        setAppPrompter(nullptr);
        setAppSettings(nullptr);
    }

    // The customer table of the folder with these customers.
    void makePeople(const std::vector<TestCustomer>& customers) {
        NoSyncIo noSync;
        Io4* previous = io4set(&noSync);
        CPeople people;
        ASSERT_EQ(people.Create(groupPath), 0);
        for (const TestCustomer& c : customers) {
            people.Clear();
            people.SetName(c.first, c.mi, c.last);
            people.SetPhone(c.phone, "");
            people.SetOrg(c.org);
            people.SetAddress(c.address, c.city, c.state, c.zip);
            ASSERT_EQ(people.Add(), 0) << c.last << ' ' << c.phone;
        }
        people.Close();
        io4set(previous);
        peopleMade_ = true;
    }

    // A group of `facilities` courts in the folder, with its three tables; the customer table
    // is made by makePeople() first, or empty here.
    void makeGroup(int facilities = 4) {
        GroupFile g;
        g.typeName = "Tennis Courts";
        for (int i = 0; i < facilities; ++i)
            g.rooms[std::size_t(g.count++)].name = "Court " + std::to_string(i + 1);
        ASSERT_TRUE(saveGroupFile(groupPath, g).ok());
        CSchedule s;
        ASSERT_EQ(s.Create(groupPath), 0);
        s.Close();
        CMaintenance m;
        ASSERT_EQ(m.Create(groupPath), 0);
        m.Close();
        if (!peopleMade_) makePeople({});
    }

    bool peopleMade_ = false;

    std::string file(const std::string& name) const { return folder + "/" + name; }
    std::vector<QString> texts() const {
        std::vector<QString> out;
        for (const Prompt& p : prompter.shown) out.push_back(p.text);
        return out;
    }
};

}  // namespace quorvane::testing
