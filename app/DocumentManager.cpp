#include "app/DocumentManager.h"

#include <QDir>
#include <QFileInfo>

#include "app/ZUKRecDoc.h"

namespace quorvane {

namespace {
QString comparable(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}
}  // namespace

bool sameFile(const QString& a, const QString& b) {
    return comparable(a) == comparable(b);
}

DocumentManager::DocumentManager(QObject* parent) : QObject(parent) {}

DocumentManager::~DocumentManager() {
    closeAll();
}

CZUKRecDoc* DocumentManager::findOpen(const QString& path) const {
    for (CZUKRecDoc* doc : documents_)
        if (!doc->groupFilePath().isEmpty() && sameFile(doc->groupFilePath(), path)) return doc;
    return nullptr;
}

CZUKRecDoc* DocumentManager::openDocument(const QString& path) {
    if (CZUKRecDoc* open = findOpen(path)) {
        emit activateRequested(open);
        return open;
    }
    auto* doc = new CZUKRecDoc(this);
    if (!doc->OnOpenDocument(QFileInfo(path).absoluteFilePath())) {
        delete doc;
        return nullptr;
    }
    adopt(doc);
    return doc;
}

CZUKRecDoc* DocumentManager::openRecent(int index) {
    if (index < 0 || index >= recent_.entries().size()) return nullptr;
    const QString path = recent_.entries()[index];
    CZUKRecDoc* doc = openDocument(path);
    if (!doc) {
        recent_.removePath(path);
        emit recentFilesChanged();
    }
    return doc;
}

CZUKRecDoc* DocumentManager::newDocument(QWidget* dialogParent) {
    auto* doc = new CZUKRecDoc(this);
    if (!doc->OnNewDocument(dialogParent)) {
        delete doc;
        return nullptr;
    }
    adopt(doc);
    return doc;
}

void DocumentManager::adopt(CZUKRecDoc* doc) {
    // An opened group goes on the recent-file list, and a new one at once, so the next New
    // Group starts there.
    recent_.add(doc->groupFilePath());
    emit recentFilesChanged();
    documents_ << doc;
    emit documentAdded(doc);
}

void DocumentManager::closeDocument(CZUKRecDoc* doc) {
    if (!documents_.contains(doc)) return;
    documents_.removeAll(doc);
    emit documentClosing(doc);
    doc->OnCloseDocument();
    delete doc;
}

void DocumentManager::closeAll() {
    while (!documents_.isEmpty()) closeDocument(documents_.back());
}

}  // namespace quorvane
