#pragma once
// The modal dialogs of the application folder: the shell's (file choosers, the New Group
// dialog, the About box, the colour chooser, page setup, Preferences) and the group window's
// (GroupDialogs.h). They go through one replaceable object so that the start-up sequence, the
// document commands and the group window's commands can be driven by tests without a modal
// event loop.
#include <QColor>
#include <QString>
#include <cstdint>
#include <optional>

#include "app/GroupDialogs.h"

class QWidget;
class QPrinter;

namespace quorvane {

class CPreferences;
class CZUKRecDoc;

struct FileDialogRequest {
    QString title;
    QString filter;         // Qt form: "Recreation Files (*.rec);;All Files (*)"
    QString folder;         // empty: the dialog's own default folder
    QString fileName;       // initial file name, may be empty
    QString defaultSuffix;  // "rec"
    bool mustExist = true;  // false: a name that does not exist yet is accepted
    bool save = false;      // a Save dialog: its button saves, an existing file asks first
    QString note;           // a line shown in the dialog under the file list, may be empty
};

struct NewGroupChoice {
    QString typeName;  // as stored, before type normalisation
    QString description;
};

class AppDialogs {
public:
    virtual ~AppDialogs() = default;
    // The chosen path, or an empty string on Cancel.
    virtual QString chooseFile(const FileDialogRequest& request, QWidget* parent) = 0;
    // The New Group dialog; nothing on Cancel.
    virtual std::optional<NewGroupChoice> askNewGroup(QWidget* parent) = 0;
    // The About box; splashMs > 0 closes it by itself after that many milliseconds.
    virtual void showAbout(int splashMs, QWidget* parent) = 0;
    virtual std::optional<QColor> chooseColor(const QColor& initial, QWidget* parent) = 0;
    // Page setup on the given printer; false on Cancel.
    virtual bool pageSetup(QPrinter& printer, QWidget* parent) = 0;
    // The Preferences sheet, built by the view on its preferences; each page's OK or Apply
    // stores through the sheet itself.
    virtual void showPreferences(CPreferences& sheet) = 0;

    // The facility dialog, add mode (`modify` false) or modify mode; nothing on Cancel.
    virtual std::optional<FacilityAnswer> askFacility(const CZUKRecDoc& doc, bool modify,
                                                      const FacilityAnswer& initial,
                                                      QWidget* parent) = 0;
    virtual std::optional<GroupAnswer> askGroup(const GroupAnswer& initial, QWidget* parent) = 0;
    // The deletion date at midnight, or nothing on Cancel.
    virtual std::optional<std::int64_t> askDeletionDate(std::int64_t proposed, QWidget* parent) = 0;
};

class QtAppDialogs final : public AppDialogs {
public:
    QString chooseFile(const FileDialogRequest& request, QWidget* parent) override;
    std::optional<NewGroupChoice> askNewGroup(QWidget* parent) override;
    void showAbout(int splashMs, QWidget* parent) override;
    std::optional<QColor> chooseColor(const QColor& initial, QWidget* parent) override;
    bool pageSetup(QPrinter& printer, QWidget* parent) override;
    void showPreferences(CPreferences& sheet) override;
    std::optional<FacilityAnswer> askFacility(const CZUKRecDoc& doc, bool modify,
                                              const FacilityAnswer& initial,
                                              QWidget* parent) override;
    std::optional<GroupAnswer> askGroup(const GroupAnswer& initial, QWidget* parent) override;
    std::optional<std::int64_t> askDeletionDate(std::int64_t proposed, QWidget* parent) override;
};

AppDialogs& appDialogs();
void setAppDialogs(AppDialogs* dialogs);  // nullptr restores the Qt dialogs

// "Recreation Files (*.rec)|*.rec|All Files (*.*)|*.*||" -> "Recreation Files (*.rec);;All
// Files (*)". Each description keeps its words; its patterns become the pair's pattern list,
// and "*.*" becomes "*" so files without an extension are listed too.
QString qtFileFilter(const QString& pairFilter);

}  // namespace quorvane
