#pragma once
// A facility of a group: one of the group's 15 slots. Texts are Windows-1252 bytes.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "group/Archive.h"

namespace quorvane {

class CRoom {
public:
    static constexpr std::size_t kMaxName = 20;  // width of the reservations' facility field
    static constexpr std::size_t kMaxDescription = 256;

    std::string name;               // empty in an empty slot; unique in the group, case counts
    std::string description;        // "Description and Special Equipment"
    std::uint32_t defaultTime = 0;  // minutes proposed for a new reservation; 0 for none
    // Set by the group before reading: the record in the file has the default-time field.
    bool carriesDefaultTime = false;

    // Working values, never stored in the group file.
    std::string occupant1;  // last name of whoever occupies the facility this minute
    std::string occupant2;  // their organization; shown only while occupant1 is not empty
    int utilizationSelected = 0;
    std::array<double, 7> utilization{};  // Sunday first

    // Reads name, description and, when carriesDefaultTime, the default time (else 0).
    bool Serialize(ArchiveReader& ar);
    // Writes all three fields.
    void Serialize(ArchiveWriter& ar) const;

    // Empties the slot: texts, default time and working values.
    void clear();
    void clearWorkingValues();
    bool empty() const { return name.empty(); }
};

// The default reservation time as edit 1183 shows it: below 60 "%2d" (minutes), otherwise
// "%2d:%02d" (hours, minutes); 90 gives " 1:30".
std::string formatDefaultTime(std::uint32_t minutes);

// Reads edit 1183's text. With a ':' the part after the last ':' is the minutes (at most 59)
// and the part before it, when there is one, the hours (at most 23). Without ':' the whole text
// is minutes, unchecked. Each number skips leading blanks and ends at the first non-digit
// (nothing gives 0). Returns nullopt for an invalid text.
std::optional<std::uint32_t> parseDefaultTime(std::string_view text);

// A facility name as the reservations' facility field keeps it: cut at a NUL byte and to the
// field's width, then without trailing blanks (the table drops them when it reads the field).
// Two names are one facility exactly when these agree, so a name is kept only in this form:
// "Court 5 " and "Court 5" would otherwise be two facilities sharing one set of reservations,
// and a reservation of a name longer than the field would never be found again under it.
std::string storedFacilityName(std::string_view name);

}  // namespace quorvane
