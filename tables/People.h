// The customer table of a folder ("RecPeople"), shared by every group whose file lies there,
// ordered by last name, first name, middle initial, phone and extension (tag PEOPLETAG).
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "tables/TableCore.h"

// The five key texts of one customer, kept to remember a selection of customers.
class CPeopleKey {
public:
    CPeopleKey() = default;
    CPeopleKey(std::string first, std::string mi, std::string last, std::string phone,
               std::string ext)
        : first_(std::move(first)),
          mi_(std::move(mi)),
          last_(std::move(last)),
          phone_(std::move(phone)),
          ext_(std::move(ext)) {}

    // True when all five texts equal the key's exactly.
    bool Matches(const std::string& first, const std::string& mi, const std::string& last,
                 const std::string& phone, const std::string& ext) const {
        return first == first_ && mi == mi_ && last == last_ && phone == phone_ && ext == ext_;
    }
    void Set(const std::string& first, const std::string& mi, const std::string& last,
             const std::string& phone, const std::string& ext) {
        first_ = first;
        mi_ = mi;
        last_ = last;
        phone_ = phone;
        ext_ = ext;
    }
    const std::string& First() const { return first_; }
    const std::string& MI() const { return mi_; }
    const std::string& Last() const { return last_; }
    const std::string& Phone() const { return phone_; }
    const std::string& Ext() const { return ext_; }

private:
    std::string first_, mi_, last_, phone_, ext_;
};

class CPeople : public tables::RecordTable<CPeople> {
public:
    CPeople();

    // The group path is any group file of the folder; the table is the folder's "RecPeople".
    int Create(const std::string& groupPath);
    int Open(const std::string& groupPath);

    void Clear();
    // 0 and the customer read only on an exact match of all five texts; otherwise the
    // engine's code with the current customer unchanged.
    int Seek(const std::string& first, const std::string& mi, const std::string& last,
             const std::string& phone, const std::string& ext);
    // Every live customer in key order, read in large blocks rather than one step at a time
    // (the customer lists): `visit` gets each as this object's current customer, read only
    // as far as a list shows it (names, phone and extension, organization; the other fields
    // are empty). Afterwards the current customer is the table's current record again,
    // read whole. 0, or the engine's code.
    int ScanAll(const std::function<void(const CPeople&)>& visit);

    int Update();
    // Marks the current customer deleted and writes the mark at once.
    int Delete(bool pack);
    // The whole-table lock, which also serialises changes to the groups of the folder.
    int LockAll();
    int Unlock();

    void GetName(std::string& first, std::string& mi, std::string& last) const;
    void SetName(const std::string& first, const std::string& mi, const std::string& last);
    void GetPhone(std::string& phone, std::string& ext) const;
    void SetPhone(const std::string& phone, const std::string& ext);
    void GetAltPhone(std::string& phone, std::string& ext) const;
    void SetAltPhone(const std::string& phone, const std::string& ext);
    std::string GetOrg() const { return org_; }
    void SetOrg(const std::string& org) { org_ = org; }
    void GetAddress(std::string& address, std::string& city, std::string& state,
                    std::string& zip) const;
    void SetAddress(const std::string& address, const std::string& city, const std::string& state,
                    const std::string& zip);
    std::string GetNotes() const { return notes_; }
    void SetNotes(const std::string& notes) { notes_ = notes; }
    std::string GetMoreInfo() const { return moreInfo_; }
    void GetKey(CPeopleKey& key) const;

    const std::string& GetPath() const { return core_.path(); }

private:
    friend class tables::RecordTable<CPeople>;
    int readRecord(int result);
    void readListed();  // the fields a list shows, the others left as they are
    void build();

    std::string last_, first_, mi_, phone_, ext_, altPhone_, altExt_, org_, address_, city_, state_,
        zip_, notes_, moreInfo_;
};
