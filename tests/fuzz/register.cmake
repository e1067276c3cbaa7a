# Included by tests/CMakeLists.txt: when clang can link libFuzzer, build the
# fuzz targets (tests/fuzz/CMakeLists.txt) with it and let ctest run each one
# for a short bounded time on the seed corpus kept in tests/fuzz/corpus/.
set(TARNEL_FUZZ_SECONDS 20 CACHE STRING "Seconds of each fuzz target's ctest run")

find_program(TARNEL_CLANGXX NAMES clang++ clang++-14)
if(NOT TARNEL_CLANGXX)
  message(STATUS "clang++ not found: fuzz targets not built")
  return()
endif()
set(_probe ${CMAKE_CURRENT_BINARY_DIR}/fuzz_probe.cpp)
file(WRITE ${_probe} "#include <cstddef>\n#include <cstdint>\n"
     "extern \"C\" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }\n")
execute_process(COMMAND ${TARNEL_CLANGXX} -fsanitize=fuzzer,address,undefined ${_probe}
                        -o ${CMAKE_CURRENT_BINARY_DIR}/fuzz_probe
                RESULT_VARIABLE _probe_rc OUTPUT_QUIET ERROR_QUIET)
if(NOT _probe_rc EQUAL 0)
  message(STATUS "clang++ cannot link libFuzzer (libclang-rt-dev missing?): fuzz targets not built")
  return()
endif()

include(ExternalProject)
set(_fuzz_bin ${CMAKE_CURRENT_BINARY_DIR}/fuzz)
ExternalProject_Add(tarnel_fuzzers
  SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/fuzz
  BINARY_DIR ${_fuzz_bin}
  CMAKE_ARGS -DCMAKE_CXX_COMPILER=${TARNEL_CLANGXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
  BUILD_ALWAYS ON
  INSTALL_COMMAND "")

file(GLOB _fuzz_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/fuzz_*.cpp)
foreach(_source IN LISTS _fuzz_sources)
  get_filename_component(_name ${_source} NAME_WE)
  string(REGEX REPLACE "^fuzz_" "" _short ${_name})
  add_test(NAME Fuzz.${_short}
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/run_fuzzer.sh ${_fuzz_bin}/${_name}
                   ${TARNEL_FUZZ_SECONDS} ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${_short}
                   ${CMAKE_CURRENT_BINARY_DIR}/fuzz-work/${_short})
  # One fuzz target at a time keeps a core busy: never two, and never beside
  # the end-to-end tests that measure time bounds (tests/e2e/CMakeLists.txt).
  set_tests_properties(Fuzz.${_short} PROPERTIES LABELS fuzz
                       TIMEOUT 600 COST ${TARNEL_FUZZ_SECONDS} RESOURCE_LOCK busy_core)
endforeach()
