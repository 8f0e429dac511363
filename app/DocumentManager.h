#pragma once
// Keeps the open groups: creates and opens them (an already open group is only activated),
// closes them, and keeps the recent-file list up to date.
#include <QList>
#include <QObject>

#include "app/RecentFileList.h"

class QWidget;

namespace quorvane {

class CZUKRecDoc;

class DocumentManager : public QObject {
    Q_OBJECT
public:
    explicit DocumentManager(QObject* parent = nullptr);
    ~DocumentManager() override;

    RecentFileList& recentFiles() { return recent_; }
    const QList<CZUKRecDoc*>& documents() const { return documents_; }

    // The open group whose file is this one (the same file reached by another path counts).
    CZUKRecDoc* findOpen(const QString& path) const;

    // Opens the group, or activates it when it is open already. Nullptr on failure (the
    // document's own message has been shown).
    CZUKRecDoc* openDocument(const QString& path);
    // Opens recent entry `index`; an entry that fails to open leaves the list.
    CZUKRecDoc* openRecent(int index);
    // Runs the create step of a new group; nullptr on Cancel or failure.
    CZUKRecDoc* newDocument(QWidget* dialogParent = nullptr);

    // Runs the group's destruction steps and discards it.
    void closeDocument(CZUKRecDoc* doc);
    void closeAll();

signals:
    void documentAdded(quorvane::CZUKRecDoc* doc);
    void activateRequested(quorvane::CZUKRecDoc* doc);
    void documentClosing(quorvane::CZUKRecDoc* doc);
    void recentFilesChanged();

private:
    void adopt(CZUKRecDoc* doc);

    QList<CZUKRecDoc*> documents_;
    RecentFileList recent_;
};

// The same file, compared through symbolic links and "..": canonical paths for files that
// exist, cleaned absolute paths otherwise.
bool sameFile(const QString& a, const QString& b);

}  // namespace quorvane
