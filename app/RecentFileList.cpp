#include "app/RecentFileList.h"

#include <QDir>
#include <QFileInfo>

#include "platform/SettingsStore.h"

namespace quorvane {

namespace {
QString normalised(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}
}  // namespace

void RecentFileList::load() {
    entries_.clear();
    for (int i = 0; i < kSize; ++i) {
        const QString path = appSettings().getString(section(), entryName(i));
        if (!path.isEmpty() && !entries_.contains(path)) entries_ << path;
    }
}

void RecentFileList::save() const {
    for (int i = 0; i < kSize; ++i)
        appSettings().setString(section(), entryName(i),
                                i < entries_.size() ? entries_[i] : QString());
    appSettings().sync();
}

void RecentFileList::add(const QString& path) {
    if (path.isEmpty()) return;
    const QString full = normalised(path);
    removePath(full);
    entries_.prepend(full);
    while (entries_.size() > kSize) entries_.removeLast();
}

void RecentFileList::remove(int index) {
    if (index >= 0 && index < entries_.size()) entries_.removeAt(index);
}

void RecentFileList::removePath(const QString& path) {
    const QString full = normalised(path);
    for (int i = entries_.size() - 1; i >= 0; --i)
        if (normalised(entries_[i]) == full) entries_.removeAt(i);
}

QString folderOfPath(const QString& path) {
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

QString recentFolder() {
    return folderOfPath(
        appSettings().getString(RecentFileList::section(), RecentFileList::entryName(0)));
}

}  // namespace quorvane
