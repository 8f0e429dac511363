// Writes the sample groups shipped with Quorvane into a folder (the build tree's samples/ at
// build time; the installed copy is what the About box names).
//
//   make_samples FOLDER
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/GroupFile.h"

namespace {

struct SampleFacility {
    const char* name;
    const char* description;
};

constexpr SampleFacility kCourts[] = {
    {"Court 1", "Hard court, lighted for evening play"},
    {"Court 2", "Hard court, lighted for evening play"},
    {"Court 3", "Clay court beside the clubhouse"},
    {"Court 4", "Clay court with a practice wall and ball machine"},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "make_samples: cannot create %s: %s\n", folder.c_str(),
                     ec.message().c_str());
        return 1;
    }

    quorvane::GroupFile group;
    group.typeName = "Tennis Courts";
    group.description = "Riverside Park";
    for (const SampleFacility& court : kCourts) {
        quorvane::CRoom& room = group.rooms[static_cast<std::size_t>(group.count++)];
        room.name = court.name;
        room.description = court.description;
        room.defaultTime = 60;
    }
    const std::string path = (folder / "Tennis Courts.rec").string();
    const quorvane::GroupFileResult result = quorvane::saveGroupFile(path, group);
    if (!result.ok()) {
        std::fprintf(stderr, "make_samples: %s\n", quorvane::groupFileMessage(result, path).c_str());
        return 1;
    }
    return 0;
}
