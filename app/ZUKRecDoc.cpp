#include "app/ZUKRecDoc.h"

#include <QFile>
#include <QFileInfo>

#include "app/GroupFile.h"
#include "app/RecentFileList.h"
#include "app/ShellDialogs.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"

namespace quorvane {

namespace {
int g_untitledCount = 0;

std::string nativePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

void reportFileError(const GroupFileResult& result, const QString& path) {
    appPrompter().message(QString::fromUtf8(groupFileMessage(result, nativePath(path))));
}
}  // namespace

CZUKRecDoc::CZUKRecDoc(QObject* parent) : QObject(parent), group_(std::make_unique<GroupFile>()) {}

CZUKRecDoc::~CZUKRecDoc() = default;

void CZUKRecDoc::resetUntitledCounter() {
    g_untitledCount = 0;
}

int CZUKRecDoc::facilityCount() const {
    return group_->count;
}
QString CZUKRecDoc::typeName() const {
    return fromCp1252(group_->typeName);
}
QString CZUKRecDoc::description() const {
    return fromCp1252(group_->description);
}

QString CZUKRecDoc::groupTitle() const {
    return fromCp1252(quorvane::groupTitle(group_->typeName, group_->description));
}

QString CZUKRecDoc::basePath() const {
    const int slash = path_.lastIndexOf(QLatin1Char('/'));
    const int dot = path_.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? path_.left(dot) : path_;
}

QString CZUKRecDoc::stampPath() const {
    return path_.isEmpty() ? QString() : basePath() + QStringLiteral("Update.bin");
}

void CZUKRecDoc::setTitle(const QString& title) {
    if (title_ == title) return;
    title_ = title;
    emit titleChanged();
}

void CZUKRecDoc::attach(const QString& path) {
    path_ = path;
    lowerTypeName_ = fromCp1252(normaliseTypeName(group_->typeName).lowerInitial);
}

bool CZUKRecDoc::OnNewDocument(QWidget* dialogParent) {
    const std::optional<NewGroupChoice> choice = appDialogs().askNewGroup(dialogParent);
    if (!choice) return false;

    GroupFile fresh;
    fresh.description = toCp1252(choice->description);
    const TypeNames names = normaliseTypeName(toCp1252(choice->typeName));
    fresh.typeName = names.typeName;

    FileDialogRequest request;
    request.title = QStringLiteral("Select a Path and Name for the New Group File");
    request.filter =
        qtFileFilter(QStringLiteral("Recreation Files (*.rec)|*.rec|All Files (*.*)|*.*||"));
    request.folder = recentFolder();
    request.fileName = fromCp1252(fresh.typeName) + QStringLiteral(".rec");
    request.defaultSuffix = QStringLiteral("rec");
    request.mustExist = false;
    const QString chosen = appDialogs().chooseFile(request, dialogParent);
    if (chosen.isEmpty()) return false;
    const QString path = QFileInfo(chosen).absoluteFilePath();

    // Any file of that name is refused, group file or not: nothing is ever overwritten.
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        appPrompter().message(QStringLiteral("A group already exists with this name, try again."));
        return false;
    }

    *group_ = fresh;
    if (!OnSaveDocument(path)) {
        *group_ = GroupFile();
        return false;
    }
    attach(path);
    const QString desc = description();
    setTitle(desc.isEmpty() ? QStringLiteral("ZUKRec%1").arg(++g_untitledCount) : groupTitle());
    emit contentsChanged();
    return true;
}

bool CZUKRecDoc::OnOpenDocument(const QString& path) {
    GroupFile loaded;
    const GroupFileResult result = loadGroupFile(nativePath(path), loaded);
    if (!result.ok()) {
        reportFileError(result, path);
        return false;
    }
    *group_ = loaded;
    attach(path);
    setTitle(description().isEmpty() ? QFileInfo(path).fileName() : groupTitle());
    emit contentsChanged();
    return true;
}

bool CZUKRecDoc::OnSaveDocument(const QString& path) {
    const GroupFileResult result = saveGroupFile(nativePath(path), *group_);
    if (!result.ok()) {
        reportFileError(result, path);
        return false;
    }
    return true;
}

void CZUKRecDoc::OnCloseDocument() {
    // The group's tables and its change stamp close here once the group has them.
    path_.clear();
}

}  // namespace quorvane
