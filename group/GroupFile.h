#pragma once
// The group file (.rec): what it holds, how it is read from and written to bytes, and how it
// is loaded from and saved to disk. No Qt here; texts are Windows-1252 bytes.
//
// Layout (little-endian):
//   uint32  header: facility count + 0x01000000 (the bit says records carry a default time)
//   string  description
//   count x facility record: name, description [, uint32 default time when the bit is set]
//   string  type name
//   2 x int32  reserved pair (kept as read)
//   4 x int32  window rectangle: left, top, right, bottom
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "group/Room.h"

namespace quorvane {

constexpr int kMaxFacilities = 15;
constexpr std::uint32_t kDefaultTimeBit = 0x01000000;
// No real group comes near this (15 facilities of short texts); a bigger file is not one.
constexpr std::size_t kMaxGroupFileSize = 16u * 1024 * 1024;

struct GroupRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const GroupRect&) const = default;
};

struct GroupFile {
    int count = 0;  // 0-15; slots from count on are empty
    std::string description;
    std::array<CRoom, kMaxFacilities> rooms{};
    std::string typeName;
    std::array<std::int32_t, 2> reserved{0, 0};
    GroupRect window;
    // As read: whether the file's header had the default-time bit. Writing always sets it.
    bool carriesDefaultTime = true;

    // Slot of the facility with this name as stored (storedFacilityName) among all 15 slots,
    // or -1. Empty slots have empty names, so an empty name finds the first empty slot.
    int find(std::string_view name) const;

    // The facility edits, made on the group as just re-read under the group lock.
    enum class Edit { Done, GroupFull, NameTaken, NotFound };
    // Appends after the last facility, under its stored name (storedFacilityName): GroupFull
    // with 15 already, NameTaken when a slot has the (non-empty) name, since two facilities
    // of one name would share their reservations.
    Edit addFacility(const std::string& name, const std::string& description,
                     std::uint32_t defaultTime);
    // Changes the description and default time of the facility of that name.
    Edit modifyFacility(const std::string& name, const std::string& description,
                        std::uint32_t defaultTime);
    // Removes the facility; the following ones move up and the freed last slot is emptied.
    Edit removeFacility(const std::string& name);
};

enum class GroupFileStatus {
    Ok,
    ShortFile,          // ends before the layout does
    TooManyFacilities,  // the header's count is above 15
    Leftover,           // bytes follow the layout's end (count: how many)
    SameNames,          // two facilities whose names agree as reservations store them
    TooLarge,           // bigger than any group file can be
    OpenFailed,         // missing, unreadable, not a file
    ReadFailed,
    WriteFailed,
};

struct GroupFileResult {
    GroupFileStatus status = GroupFileStatus::Ok;
    int error = 0;            // errno for the file failures
    std::uint32_t count = 0;  // the count found (TooManyFacilities), bytes left (Leftover)
    bool ok() const { return status == GroupFileStatus::Ok; }
};

// Parses a whole group file. On failure `out` is left as it was.
GroupFileResult readGroupBytes(std::span<const std::uint8_t> bytes, GroupFile& out);
std::vector<std::uint8_t> writeGroupBytes(const GroupFile& group);

// Reads the file at path. On failure `out` is left as it was and nothing on disk changes.
GroupFileResult loadGroupFile(const std::string& path, GroupFile& out);
// Writes the whole file so that a crash leaves either the old or the new content: a temporary
// file in the same folder is written, flushed to disk and renamed over the old one. A symbolic
// link at `path` is replaced itself, never written through.
GroupFileResult saveGroupFile(const std::string& path, const GroupFile& group);

// The message for a failed load or save: UTF-8, with the path inserted as given (a file-system
// path, so QString::fromLocal8Bit or fromUtf8 on Linux). Empty for Ok.
std::string groupFileMessage(const GroupFileResult& result, const std::string& path);

// The type name with its first letter upper-case (when it is a-z), and a copy with its first
// letter lower-case (when it is A-Z); nothing else changes.
struct TypeNames {
    std::string typeName;
    std::string lowerInitial;
};
TypeNames normaliseTypeName(std::string typeName);

// "type" or "type - description" when there is a description.
std::string groupTitle(const std::string& typeName, const std::string& description);

}  // namespace quorvane
