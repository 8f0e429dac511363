#pragma once
// The exports' folder (export_core_fixture.h) for the commands' tests, with the settings, the
// prompter, help and file dialogs scripted.
#include <QString>
#include <memory>
#include <vector>

#include "../app/shell_fakes.h"
#include "app/ZUKRecDoc.h"
#include "export_core_fixture.h"
#include "platform/AppSettings.h"

namespace quorvane::testing {

class ExportFixture : public ExportCoreFixture {
protected:
    std::unique_ptr<SettingsStore> store;
    RecordingPrompter prompter;
    RecordingHelpService help;
    ScriptedDialogs dialogs;

    void SetUp() override {
        ExportCoreFixture::SetUp();
        store = std::make_unique<SettingsStore>(QString::fromStdString(file("cfg/Quorvane.ini")));
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

    std::vector<QString> texts() const {
        std::vector<QString> out;
        for (const Prompt& p : prompter.shown) out.push_back(p.text);
        return out;
    }
};

}  // namespace quorvane::testing
