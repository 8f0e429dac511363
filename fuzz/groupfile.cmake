# The group-file reader is free of Qt: the fuzzer links the group core alone.
quorvane_add_fuzzer(fuzz_groupfile SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/groupfile.cpp
  LIBS quorvane_groupcore)
