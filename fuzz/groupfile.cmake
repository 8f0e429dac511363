# The group-file reader is free of Qt, so the fuzzer builds just its three sources.
quorvane_add_fuzzer(fuzz_groupfile
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/groupfile.cpp
          ${PROJECT_SOURCE_DIR}/app/Archive.cpp
          ${PROJECT_SOURCE_DIR}/app/Room.cpp
          ${PROJECT_SOURCE_DIR}/app/GroupFile.cpp
  LIBS)
