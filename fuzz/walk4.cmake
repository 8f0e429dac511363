# The tag-order walk over a damaged table and index together (the engine alone).
quorvane_add_fuzzer(fuzz_walk4 SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/walk4.cpp LIBS quorvane_engine)
