// The maintenance table of a folder ("RecMaintenance"): the kinds of work a facility can be
// booked for instead of a customer, ordered by name (tag MAINTENANC).
#pragma once

#include <string>

#include "tables/TableCore.h"

class CMaintenance : public tables::RecordTable<CMaintenance> {
public:
    CMaintenance();

    int Create(const std::string& groupPath);
    int Open(const std::string& groupPath);

    void Clear();
    // Seeks the name as given, unpadded: a shorter text finds the first name it begins.
    int Seek(const std::string& name);

    int Update();
    int Delete(bool pack);

    std::string GetName() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    std::string GetNotes() const { return notes_; }
    void SetNotes(const std::string& notes) { notes_ = notes; }
    int GetHour() const { return hour_; }
    int GetMinute() const { return minute_; }

    const std::string& GetPath() const { return core_.path(); }

private:
    friend class tables::RecordTable<CMaintenance>;
    int readRecord(int result);
    void build();

    std::string name_, notes_;
    int hour_ = 0, minute_ = 0;
};
