#include "group/GroupFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/file4replace.h"
#include "engine/io4.h"

namespace quorvane {

int GroupFile::find(std::string_view name) const {
    const std::string stored = storedFacilityName(name);
    for (int i = 0; i < kMaxFacilities; ++i)
        if (rooms[std::size_t(i)].name == stored) return i;
    return -1;
}

GroupFile::Edit GroupFile::addFacility(const std::string& name, const std::string& description,
                                       std::uint32_t defaultTime) {
    if (count >= kMaxFacilities) return Edit::GroupFull;
    const std::string stored = storedFacilityName(name);
    if (!stored.empty() && find(stored) >= 0) return Edit::NameTaken;
    CRoom& room = rooms[std::size_t(count)];
    room.clear();
    room.name = stored;
    room.description = description;
    room.defaultTime = defaultTime;
    ++count;
    return Edit::Done;
}

GroupFile::Edit GroupFile::modifyFacility(const std::string& name, const std::string& description,
                                          std::uint32_t defaultTime) {
    const std::string stored = storedFacilityName(name);
    for (int i = count - 1; i >= 0; --i) {
        CRoom& room = rooms[std::size_t(i)];
        if (room.name != stored) continue;
        room.description = description;
        room.defaultTime = defaultTime;
        return Edit::Done;
    }
    return Edit::NotFound;
}

GroupFile::Edit GroupFile::removeFacility(const std::string& name) {
    const std::string stored = storedFacilityName(name);
    int slot = -1;
    for (int i = 0; i < count && slot < 0; ++i)
        if (rooms[std::size_t(i)].name == stored) slot = i;
    if (slot < 0) return Edit::NotFound;
    for (int i = slot; i + 1 < count; ++i) rooms[std::size_t(i)] = rooms[std::size_t(i + 1)];
    --count;
    rooms[std::size_t(count)].clear();
    return Edit::Done;
}

GroupFileResult readGroupBytes(std::span<const std::uint8_t> bytes, GroupFile& out) {
    GroupFileResult r;
    if (bytes.size() > kMaxGroupFileSize) {
        r.status = GroupFileStatus::TooLarge;
        return r;
    }
    ArchiveReader ar(bytes);
    std::uint32_t header = 0;
    if (!ar.readU32(header)) {
        r.status = GroupFileStatus::ShortFile;
        return r;
    }
    GroupFile g;
    g.carriesDefaultTime = (header & kDefaultTimeBit) != 0;
    const std::uint32_t count = header & ~kDefaultTimeBit;
    // The document has 15 slots; a larger count is a damaged file, never a reason to read on.
    if (count > std::uint32_t(kMaxFacilities)) {
        r.status = GroupFileStatus::TooManyFacilities;
        r.count = count;
        return r;
    }
    g.count = int(count);
    ar.readString(g.description);
    for (int i = 0; i < g.count && ar.ok(); ++i) {
        CRoom& room = g.rooms[std::size_t(i)];
        room.carriesDefaultTime = g.carriesDefaultTime;
        room.Serialize(ar);
        // Kept as the reservations store it; two names that agree there are one facility
        // twice, which no group may hold.
        room.name = storedFacilityName(room.name);
        for (int j = 0; j < i && !room.name.empty(); ++j)
            if (g.rooms[std::size_t(j)].name == room.name) {
                r.status = GroupFileStatus::SameNames;
                return r;
            }
    }
    ar.readString(g.typeName);
    ar.readI32(g.reserved[0]);
    ar.readI32(g.reserved[1]);
    ar.readI32(g.window.left);
    ar.readI32(g.window.top);
    ar.readI32(g.window.right);
    ar.readI32(g.window.bottom);
    if (!ar.ok()) {
        r.status = GroupFileStatus::ShortFile;
        return r;
    }
    // Bytes after the window rectangle: the count or a length was damaged and the file was
    // read as less than it holds. Taking it would lose facilities, and saving it would make
    // the loss permanent.
    if (ar.remaining() != 0) {
        r.status = GroupFileStatus::Leftover;
        r.count = std::uint32_t(std::min<std::size_t>(ar.remaining(), UINT32_MAX));
        return r;
    }
    out = std::move(g);
    return r;
}

std::vector<std::uint8_t> writeGroupBytes(const GroupFile& group) {
    ArchiveWriter ar;
    const int count =
        group.count < 0 ? 0 : (group.count > kMaxFacilities ? kMaxFacilities : group.count);
    ar.writeU32(std::uint32_t(count) + kDefaultTimeBit);
    ar.writeString(group.description);
    for (int i = 0; i < count; ++i) group.rooms[std::size_t(i)].Serialize(ar);
    ar.writeString(group.typeName);
    ar.writeI32(group.reserved[0]);
    ar.writeI32(group.reserved[1]);
    ar.writeI32(group.window.left);
    ar.writeI32(group.window.top);
    ar.writeI32(group.window.right);
    ar.writeI32(group.window.bottom);
    return ar.take();
}

namespace {

GroupFileResult failure(GroupFileStatus s, int err) {
    GroupFileResult r;
    r.status = s;
    r.error = err;
    return r;
}

}  // namespace

GroupFileResult loadGroupFile(const std::string& path, GroupFile& out) {
    // Read through the engine's system-call seam, like every write of the group's files, so
    // a failing read can be tested. O_NONBLOCK: a FIFO named as the group would otherwise
    // hold open() until someone writes to it; the type check below then refuses it.
    Io4& io = *io4();
    const int fd = io.open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
    if (fd < 0) return failure(GroupFileStatus::OpenFailed, errno);
    struct FdCloser {
        Io4& io;
        int fd;
        ~FdCloser() { io.close(fd); }
    } closer{io, fd};
    struct stat st {};
    if (io.fstat(fd, &st) != 0) return failure(GroupFileStatus::OpenFailed, errno);
    if (!S_ISREG(st.st_mode))
        return failure(GroupFileStatus::OpenFailed, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    if (std::uint64_t(st.st_size) > kMaxGroupFileSize) return failure(GroupFileStatus::TooLarge, 0);
    std::vector<std::uint8_t> bytes;
    std::uint8_t buf[65536];
    for (;;) {
        const ssize_t n = io.pread(fd, buf, sizeof buf, off_t(bytes.size()));
        if (n < 0) {
            if (errno == EINTR) continue;
            return failure(GroupFileStatus::ReadFailed, errno);
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), buf, buf + n);
        if (bytes.size() > kMaxGroupFileSize)  // grew while being read
            return failure(GroupFileStatus::TooLarge, 0);
    }
    return readGroupBytes(bytes, out);
}

GroupFileResult saveGroupFile(const std::string& path, const GroupFile& group) {
    // A symbolic link at the path is replaced itself, never written through: in a shared
    // folder it may point anywhere its maker chose.
    const std::vector<std::uint8_t> bytes = writeGroupBytes(group);
    if (const int err = file4replace(path, bytes))
        return failure(GroupFileStatus::WriteFailed, err);
    return {};
}

std::string groupFileMessage(const GroupFileResult& r, const std::string& path) {
    const std::string quoted = "\"" + path + "\"";
    switch (r.status) {
        case GroupFileStatus::Ok:
            return {};
        case GroupFileStatus::ShortFile:
            return "The group file " + quoted +
                   " ends unexpectedly. It is damaged or is not a group file.";
        case GroupFileStatus::TooManyFacilities:
            return "The group file " + quoted + " is damaged: it claims " +
                   std::to_string(r.count) + " facilities, but a group holds at most " +
                   std::to_string(kMaxFacilities) + ".";
        case GroupFileStatus::Leftover:
            return "The group file " + quoted + " is damaged: " + std::to_string(r.count) +
                   " bytes follow the end of its group information.";
        case GroupFileStatus::SameNames:
            return "The group file " + quoted +
                   " is damaged: two facilities have the same name as reservations store it.";
        case GroupFileStatus::TooLarge:
            return "The file " + quoted + " is too large to be a group file.";
        case GroupFileStatus::OpenFailed:
            return "The group file " + quoted + " cannot be opened: " + std::strerror(r.error) +
                   ".";
        case GroupFileStatus::ReadFailed:
            return "The group file " + quoted + " cannot be read: " + std::strerror(r.error) + ".";
        case GroupFileStatus::WriteFailed:
            return "The group file " + quoted + " cannot be saved: " + std::strerror(r.error) +
                   ". The file keeps its previous content.";
    }
    return {};
}

TypeNames normaliseTypeName(std::string typeName) {
    TypeNames t;
    t.typeName = std::move(typeName);
    t.lowerInitial = t.typeName;
    if (!t.typeName.empty() && t.typeName[0] >= 'a' && t.typeName[0] <= 'z')
        t.typeName[0] = char(t.typeName[0] - 'a' + 'A');
    if (!t.lowerInitial.empty() && t.lowerInitial[0] >= 'A' && t.lowerInitial[0] <= 'Z')
        t.lowerInitial[0] = char(t.lowerInitial[0] - 'A' + 'a');
    return t;
}

std::string groupTitle(const std::string& typeName, const std::string& description) {
    return description.empty() ? typeName : typeName + " - " + description;
}

}  // namespace quorvane
