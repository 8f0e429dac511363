# The change stamp's reader needs only the clock, so the fuzzer builds those two sources.
quorvane_add_fuzzer(fuzz_stamp
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/stamp.cpp
          ${PROJECT_SOURCE_DIR}/app/ChangeStamp.cpp
          ${PROJECT_SOURCE_DIR}/platform/Clock.cpp
  LIBS)
