#pragma once
// The group document: one open group and its group file. Every change is written to disk at
// once, so a group is never "modified" and closing never asks to save.
#include <QObject>
#include <QString>
#include <memory>

class QWidget;

namespace quorvane {

struct GroupFile;

class CZUKRecDoc : public QObject {
    Q_OBJECT
public:
    explicit CZUKRecDoc(QObject* parent = nullptr);
    ~CZUKRecDoc() override;

    // Creates a group: New Group dialog, then the file dialog for the new group file; writes the
    // group file. False (and no group) on Cancel or refusal.
    bool OnNewDocument(QWidget* dialogParent = nullptr);
    // Reads the group file; a missing, unreadable or damaged file is reported and gives false.
    bool OnOpenDocument(const QString& path);
    // Writes the group file whole (through a temporary file, so a failed write leaves the old
    // content); a failure is reported and gives false.
    bool OnSaveDocument(const QString& path);
    // The destruction steps of a group whose last window has closed.
    void OnCloseDocument();

    const QString& groupFilePath() const { return path_; }
    // The group file path without its extension, and the change-stamp path built on it.
    QString basePath() const;
    QString stampPath() const;

    const GroupFile& group() const { return *group_; }
    GroupFile& group() { return *group_; }
    int facilityCount() const;
    QString typeName() const;
    QString description() const;
    // The type name with a lower-case first letter, for sentences.
    QString lowerTypeName() const { return lowerTypeName_; }
    // Type name, or type name + " - " + description.
    QString groupTitle() const;

    // The window title: the group title when there is a description, otherwise the file name
    // (opened) or "ZUKRec" and a running number (created).
    QString title() const { return title_; }
    void setTitle(const QString& title);

    // The running number of the next created group's title; tests reset it.
    static void resetUntitledCounter();

signals:
    void titleChanged();
    void contentsChanged();

private:
    void attach(const QString& path);

    std::unique_ptr<GroupFile> group_;
    QString path_;
    QString title_;
    QString lowerTypeName_;
};

}  // namespace quorvane
