quorvane_add_fuzzer(fuzz_d4open SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/d4open.cpp LIBS quorvane_engine)
