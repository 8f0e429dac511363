# The change stamp's reader needs only the clock, both in the group core.
quorvane_add_fuzzer(fuzz_stamp SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/stamp.cpp
  LIBS quorvane_groupcore)
