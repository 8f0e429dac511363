#pragma once
// The most recently used group files, newest first. Loaded from the settings store at start-up
// and written back at exit, under "Recent File List" as "File1" (newest) to "File4".
#include <QString>
#include <QStringList>

namespace quorvane {

class RecentFileList {
public:
    static constexpr int kSize = 4;
    static QString section() { return QStringLiteral("Recent File List"); }
    static QString entryName(int index) { return QStringLiteral("File%1").arg(index + 1); }

    void load();
    void save() const;

    // Puts the path at the front; an entry naming the same file moves rather than repeats.
    void add(const QString& path);
    void remove(int index);
    void removePath(const QString& path);
    const QStringList& entries() const { return entries_; }

private:
    QStringList entries_;
};

// The folder part of a stored path, up to and including its last separator; empty when the
// path has none.
QString folderOfPath(const QString& path);

// Where the Open and New Group file dialogs start: the folder of "File1" as stored in the
// settings, or empty (the dialog's default folder) when there is none.
QString recentFolder();

}  // namespace quorvane
