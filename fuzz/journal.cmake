quorvane_add_fuzzer(fuzz_journal SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/journal.cpp LIBS quorvane_engine)
