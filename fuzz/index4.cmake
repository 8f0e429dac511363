quorvane_add_fuzzer(fuzz_index4 SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/index4.cpp LIBS quorvane_engine)
