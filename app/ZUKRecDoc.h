#pragma once
// The group document: one open group, its group file and its three tables, and the current
// day it owns (CurrentDay: date, day list, occupants, change stamp). Every change is written
// to disk at once, so a group is never "modified" and closing never asks to save.
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "group/CurrentDay.h"
#include "group/GroupSession.h"

class QWidget;

namespace quorvane {

struct GroupFile;
struct GroupRect;
class GroupTables;

class CZUKRecDoc : public QObject {
    Q_OBJECT
public:
    explicit CZUKRecDoc(QObject* parent = nullptr);
    ~CZUKRecDoc() override;

    // Creates a group: New Group dialog, the file dialog for the new group file, the change
    // stamp, the reservation table, the folder's customer and maintenance tables (opened, or
    // created when the folder has none), then the group file. False (and no group) on Cancel
    // or failure, after the failure's message.
    bool OnNewDocument(QWidget* dialogParent = nullptr);
    // Reads the group file, opens or creates the change stamp, opens the three tables and
    // starts the current day. A damaged file or table is reported and gives false.
    bool OnOpenDocument(const QString& path);
    // Writes the group file whole (through a temporary file, so a failed write leaves the old
    // content); a failure is reported and gives false.
    bool OnSaveDocument(const QString& path);
    // The destruction steps of a group whose last window has closed: the automatic purge of
    // old reservations, then the maintenance, reservation and customer tables close.
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

    // ----- the group file under the group lock (editGroupFile) -----
    // Slot 0-14 of the facility with exactly this name among all 15 slots, or -1.
    int findFacility(const std::string& name) const;

    enum class FacilityResult { Done, Cancelled, GroupFull, NotFound, Failed };
    // Adds a facility after the facilities on disk; "Group Full" when 15 are there already.
    FacilityResult addFacility(const std::string& name, const std::string& description,
                               std::uint32_t defaultTime);
    // Changes a facility's description and default time; "Modify Error" when another user
    // has deleted it.
    FacilityResult modifyFacility(const std::string& name, const std::string& description,
                                  std::uint32_t defaultTime);
    // Removes a facility (the following ones move up) and, after the lock is released, its
    // reservations. NotFound, silently, when it is gone already.
    FacilityResult deleteFacility(const std::string& name);
    // "Modify Group Information": type and description, written on the group as on disk, so
    // another user's facility change made meanwhile stays.
    bool modifyGroup(const std::string& typeName, const std::string& description);
    // Stores the window rectangle at close; only the rectangle is written over the file as on
    // disk. Nothing is written when the file cannot be read back.
    bool saveWindowRect(const GroupRect& rect);

    // ----- the current day -----
    GroupTables* tables() const { return tables_.get(); }
    CurrentDay& currentDay() { return *day_; }
    const CurrentDay& currentDay() const { return *day_; }
    const DayDate& currentDate() const { return day_->date(); }
    void setCurrentDate(const DayDate& date) { day_->setDate(date); }
    std::string todayKey() const { return day_->key(); }
    const std::vector<_SCHEDITEM>& dayList() const { return day_->items(); }

    int daysToKeep() const { return daysToKeep_; }
    void setDaysToKeep(int days) { daysToKeep_ = days; }
    bool refreshFromNetwork() const { return day_->refresh(); }
    void setRefreshFromNetwork(bool on) { day_->setRefresh(on); }
    bool forceNetworkFlush() const { return day_->forceFlush(); }
    void setForceNetworkFlush(bool on) { day_->setForceFlush(on); }

    // Today's date, the day list and every occupant. A new group has no reservations to load
    // (the document manager puts it on the recent-file list).
    void startCurrentDay(bool justCreated);
    // Fills `out` with the reservations dated `key` of this group's facilities.
    int dayItems(const std::string& key, std::vector<_SCHEDITEM>& out) const;
    // Reloads the day list for today.
    void reloadDayList();
    // Sets the occupant lines for the present minute; whether one changed.
    bool updateOccupancy(bool recomputeAll);
    // One tick of a window's minute timer (CurrentDay::minute), with its signals.
    void minuteTick(bool pollStamp);
    // Reservations dated `date` were written or removed by this user. When that date is
    // today the day list is reloaded, the occupants recomputed and the change stamp rewritten
    // (other users reload at their next tick); every window showing that date is told.
    void reservationsChanged(const DayDate& date);
    void writeChangeStamp() { day_->writeStamp(); }
    bool checkChangeStamp() { return day_->checkStamp(); }
    const ChangeStamp& changeStamp() const { return day_->stamp(); }
    bool isCurrentDate(int year, int month, int day) const {
        return day_->isDate(DayDate{year, month, day});
    }
    // Deletes the reservations dated before the key (31 days back for an empty key).
    int deleteReservationsBefore(const std::string& key);
    int deleteFacilityReservations(const std::string& name);
    void destructionPurgeAndClose();

signals:
    void titleChanged();
    // The facility slots, the type name or the description changed: the drawing's extent and
    // every name in it may differ.
    void facilitiesChanged();
    // The day list was loaded afresh (a new date, another user's change, a re-read group).
    void dayReloaded();
    // An occupant line changed: only the icons' contents are redrawn.
    void occupancyChanged();
    void reservationsOfDateChanged(const quorvane::DayDate& date);

private:
    void attach(const QString& path);
    void failAttach();
    // Takes the group lock; false after a message when another user keeps it.
    bool lockGroup();
    void unlockGroup();
    GroupLock groupLock();
    // One locked edit of the group file (editGroupFile), redrawing from what it read; a file
    // that cannot be read or saved is reported here.
    GroupEditResult editGroup(const std::function<GroupFile::Edit(GroupFile&)>& change);

    std::unique_ptr<GroupFile> group_;
    std::unique_ptr<GroupTables> tables_;
    QString path_;
    QString title_;
    QString lowerTypeName_;

    std::unique_ptr<CurrentDay> day_;  // keeps occupant lines in *group_
    int daysToKeep_ = -1;
    bool peopleOpen_ = false;
    mutable bool damageShown_ = false;  // the day load's damage is told once per opening
};

}  // namespace quorvane
