quorvane_add_fuzzer(fuzz_expr4parse SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/expr4parse.cpp LIBS quorvane_engine)
