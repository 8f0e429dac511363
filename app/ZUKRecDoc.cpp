#include "app/ZUKRecDoc.h"

#include <QFile>
#include <QFileInfo>

#include "app/AppDialogs.h"
#include "app/RecentFileList.h"
#include "base/Clock.h"
#include "engine/error4.h"
#include "group/GroupFile.h"
#include "group/GroupTables.h"
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

void say(const std::string& text) {
    appPrompter().message(QString::fromLatin1(text.c_str()));
}
}  // namespace

CZUKRecDoc::CZUKRecDoc(QObject* parent)
    : QObject(parent),
      group_(std::make_unique<GroupFile>()),
      tables_(makeGroupTables()),
      day_(std::make_unique<CurrentDay>(*group_)) {
    day_->setLoader([this](const std::string& key, std::vector<_SCHEDITEM>& out) {
        return dayItems(key, out);
    });
}

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
    return QFile::decodeName(groupBasePath(nativePath(path_)).c_str());
}

QString CZUKRecDoc::stampPath() const {
    return path_.isEmpty() ? QString() : QFile::decodeName(stampPathOf(nativePath(path_)).c_str());
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

void CZUKRecDoc::failAttach() {
    path_.clear();
    group_->description.clear();
    day_->stamp().close();
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
    attach(path);
    const std::string native = nativePath(path);
    day_->stamp().create(nativePath(stampPath()));

    if (tables_) {
        const GroupTablesOutcome created = createGroupTables(*tables_, native);
        if (!created.ok) {
            say(created.message);
            failAttach();
            *group_ = GroupFile();
            return false;
        }
        peopleOpen_ = true;
    }

    if (!OnSaveDocument(path)) {
        if (tables_) closeGroupTables(*tables_);
        peopleOpen_ = false;
        failAttach();
        *group_ = GroupFile();
        return false;
    }
    const QString desc = description();
    setTitle(desc.isEmpty() ? QStringLiteral("ZUKRec%1").arg(++g_untitledCount) : groupTitle());
    startCurrentDay(true);
    return true;
}

bool CZUKRecDoc::OnOpenDocument(const QString& path) {
    const GroupOpenResult opened =
        openGroup(nativePath(path), *group_, tables_.get(), day_->stamp());
    if (!opened.file.ok()) {
        reportFileError(opened.file, path);
        return false;
    }
    attach(path);
    if (!opened.tables.ok) {
        say(opened.tables.message);
        failAttach();
        return false;
    }
    peopleOpen_ = tables_ != nullptr;
    setTitle(description().isEmpty() ? QFileInfo(path).fileName() : groupTitle());
    startCurrentDay(false);
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
    if (!path_.isEmpty()) destructionPurgeAndClose();
    day_->stamp().close();
    path_.clear();
}

// ----- the group file under the group lock -----

bool CZUKRecDoc::lockGroup() {
    if (!tables_ || !peopleOpen_) return true;
    if (tables_->lockGroup() == 0) return true;
    appPrompter().message(
        QStringLiteral("Another user is changing the groups of this folder. Please try again "
                       "in a moment."),
        QStringLiteral("Group Locked"));
    return false;
}

void CZUKRecDoc::unlockGroup() {
    if (tables_ && peopleOpen_) tables_->unlockGroup();
}

int CZUKRecDoc::findFacility(const std::string& name) const {
    return group_->find(name);
}

GroupLock CZUKRecDoc::groupLock() {
    return GroupLock{[this] { return lockGroup(); }, [this] { unlockGroup(); }};
}

GroupEditResult CZUKRecDoc::editGroup(const std::function<GroupFile::Edit(GroupFile&)>& change) {
    // The slots may move under other users' changes: positions in the day list and the
    // occupant lines follow the list as it is on disk now.
    const GroupEditResult r =
        editGroupFile(nativePath(path_), *group_, groupLock(), change, [this] {
            reloadDayList();
            updateOccupancy(true);
        });
    if (r.stage == GroupEditResult::Stage::ReadFailed ||
        r.stage == GroupEditResult::Stage::SaveFailed)
        reportFileError(r.file, path_);
    return r;
}

CZUKRecDoc::FacilityResult CZUKRecDoc::addFacility(const std::string& name,
                                                   const std::string& description,
                                                   std::uint32_t defaultTime) {
    // Another user may have filled the group, or added the same name, since the dialog opened.
    const GroupEditResult r =
        editGroup([&](GroupFile& g) { return g.addFacility(name, description, defaultTime); });
    if (!r.read()) return FacilityResult::Failed;
    if (r.stage == GroupEditResult::Stage::Refused) {
        if (r.edit == GroupFile::Edit::GroupFull)
            appPrompter().message(
                QStringLiteral("Maximum number of %1s exist for this group").arg(typeName()),
                QStringLiteral("Group Full"), PromptIcon::Stop);
        else
            appPrompter().message(QStringLiteral("A %1 with this name already exists")
                                      .arg(fromCp1252(group_->typeName)),
                                  QStringLiteral("Error"), PromptIcon::Stop);
        emit facilitiesChanged();
        return r.edit == GroupFile::Edit::GroupFull ? FacilityResult::GroupFull
                                                    : FacilityResult::Failed;
    }
    reloadDayList();
    updateOccupancy(true);
    emit facilitiesChanged();
    return r.stage == GroupEditResult::Stage::Done ? FacilityResult::Done : FacilityResult::Failed;
}

CZUKRecDoc::FacilityResult CZUKRecDoc::modifyFacility(const std::string& name,
                                                      const std::string& description,
                                                      std::uint32_t defaultTime) {
    const GroupEditResult r =
        editGroup([&](GroupFile& g) { return g.modifyFacility(name, description, defaultTime); });
    if (!r.read()) return FacilityResult::Failed;
    emit facilitiesChanged();
    if (r.stage == GroupEditResult::Stage::Refused) {
        appPrompter().message(
            QStringLiteral("%1 has been deleted by another user, update cannot be made")
                .arg(typeName()),
            QStringLiteral("Modify Error"));
        return FacilityResult::NotFound;
    }
    return r.stage == GroupEditResult::Stage::Done ? FacilityResult::Done : FacilityResult::Failed;
}

CZUKRecDoc::FacilityResult CZUKRecDoc::deleteFacility(const std::string& name) {
    const GroupEditResult r = editGroup([&](GroupFile& g) { return g.removeFacility(name); });
    if (!r.read()) return FacilityResult::Failed;
    if (r.stage == GroupEditResult::Stage::Refused) {
        emit facilitiesChanged();
        return FacilityResult::NotFound;
    }
    reloadDayList();
    updateOccupancy(true);
    emit facilitiesChanged();
    if (r.stage != GroupEditResult::Stage::Done) return FacilityResult::Failed;
    deleteFacilityReservations(name);
    return FacilityResult::Done;
}

bool CZUKRecDoc::modifyGroup(const std::string& typeName, const std::string& description) {
    const TypeNames names = normaliseTypeName(typeName);
    const GroupEditResult r = editGroup([&](GroupFile& g) {
        g.typeName = names.typeName;
        g.description = description;
        return GroupFile::Edit::Done;
    });
    if (!r.read()) return false;
    lowerTypeName_ = fromCp1252(names.lowerInitial);
    emit facilitiesChanged();
    return r.stage == GroupEditResult::Stage::Done;
}

bool CZUKRecDoc::saveWindowRect(const GroupRect& rect) {
    if (path_.isEmpty()) return false;
    group_->window = rect;
    // Only the window's place changes: the rest of the file stays as other users left it, and
    // this document's own copy is not replaced.
    GroupFile onDisk;
    return editGroupFile(nativePath(path_), onDisk, groupLock(), [&](GroupFile& g) {
               g.window = rect;
               return GroupFile::Edit::Done;
           }).stage == GroupEditResult::Stage::Done;
}

// ----- the current day -----

void CZUKRecDoc::startCurrentDay(bool justCreated) {
    day_->start(justCreated);
    emit dayReloaded();
    emit occupancyChanged();
}

int CZUKRecDoc::dayItems(const std::string& key, std::vector<_SCHEDITEM>& out) const {
    out.clear();
    if (!tables_ || path_.isEmpty()) return 0;
    const int r = loadGroupDay(*tables_, *group_, key, out);
    // The engine stops a walk whose records disagree with their index entries instead of
    // going round in circles: the list is then incomplete, and the person must know why.
    if ((r == e4index || r == e4data) && !damageShown_) {
        damageShown_ = true;
        appPrompter().message(QStringLiteral(
            "The reservation table of this group is damaged: its records and its index "
            "disagree, so the list of the day may be incomplete. Please have the tables checked "
            "(quorvane-tables check) or recover all files from backup."));
    }
    return r;
}

void CZUKRecDoc::reloadDayList() {
    day_->reload();
    emit dayReloaded();
}

bool CZUKRecDoc::updateOccupancy(bool recomputeAll) {
    const bool changed = day_->updateOccupancy(recomputeAll);
    if (changed) emit occupancyChanged();
    return changed;
}

void CZUKRecDoc::minuteTick(bool pollStamp) {
    const CurrentDay::Tick tick = day_->minute(pollStamp);
    if (tick.reloaded) emit dayReloaded();
    if (tick.occupancyChanged) emit occupancyChanged();
}

void CZUKRecDoc::reservationsChanged(const DayDate& date) {
    if (day_->reservationsChanged(date)) {
        emit dayReloaded();
        emit occupancyChanged();
    }
    emit reservationsOfDateChanged(date);
}

int CZUKRecDoc::deleteReservationsBefore(const std::string& key) {
    if (!tables_ || path_.isEmpty()) return 0;
    const std::string cutoff = key.empty() ? daysBeforeKey(appClock().now(), 31) : key;
    return tables_->deleteBefore(cutoff);
}

int CZUKRecDoc::deleteFacilityReservations(const std::string& name) {
    if (!tables_ || path_.isEmpty()) return 0;
    return tables_->deleteFacility(name);
}

void CZUKRecDoc::destructionPurgeAndClose() {
    if (!tables_) return;
    const std::string cutoff = purgeCutoffKey(appClock().now(), daysToKeep_);
    if (!cutoff.empty()) tables_->deleteBefore(cutoff);
    closeGroupTables(*tables_);
    peopleOpen_ = false;
}

}  // namespace quorvane
