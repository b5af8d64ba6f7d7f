# Included by the native build: builds the libFuzzer targets with clang as an external
# project and runs each for a bounded time as one of the native tests.
option(ORRELIN_FUZZ "Build and run the libFuzzer targets (clang with libclang-rt-14-dev)" ON)
if(NOT ORRELIN_FUZZ)
  return()
endif()

find_program(ORRELIN_FUZZ_CXX NAMES clang++ clang++-14)
if(NOT ORRELIN_FUZZ_CXX)
  message(FATAL_ERROR "clang++ not found: the fuzz tests need clang and libclang-rt-14-dev "
                      "(apt-get install clang libclang-rt-14-dev), or configure with -DORRELIN_FUZZ=OFF")
endif()
# libFuzzer comes with clang's runtime libraries, packaged apart from clang itself.
set(probe ${CMAKE_BINARY_DIR}/fuzz-probe)
file(WRITE ${probe}/probe.cpp
  "#include <cstddef>\n#include <cstdint>\n"
  "extern \"C\" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }\n")
execute_process(
  COMMAND ${ORRELIN_FUZZ_CXX} -fsanitize=fuzzer,address,undefined ${probe}/probe.cpp -o ${probe}/probe
  RESULT_VARIABLE probe_result OUTPUT_VARIABLE probe_output ERROR_VARIABLE probe_output)
if(NOT probe_result EQUAL 0)
  message(FATAL_ERROR "${ORRELIN_FUZZ_CXX} cannot link a libFuzzer target with ASan and UBSan "
                      "(install libclang-rt-14-dev, or configure with -DORRELIN_FUZZ=OFF):\n${probe_output}")
endif()

include(ExternalProject)
ExternalProject_Add(orrelin-fuzz
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/fuzz
  BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz
  CMAKE_ARGS
    -DCMAKE_CXX_COMPILER=${ORRELIN_FUZZ_CXX}
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
    -DORRELIN_SOURCE_DIR=${CMAKE_SOURCE_DIR}
    -DORRELIN_WARNINGS_AS_ERRORS=${ORRELIN_WARNINGS_AS_ERRORS}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  TEST_COMMAND "")

set(ORRELIN_FUZZ_SECONDS 60 CACHE STRING "How long each fuzz test runs")
add_test(NAME native.registrar_fuzz
  COMMAND ${CMAKE_COMMAND}
    -DFUZZER=${CMAKE_BINARY_DIR}/fuzz/registrar_fuzz
    -DCORPUS=${CMAKE_SOURCE_DIR}/fuzz/corpus/registrar
    -DSEED_FILES=${CMAKE_SOURCE_DIR}/resources/Orrelin.rgs
    -DDICT=${CMAKE_SOURCE_DIR}/fuzz/registrar.dict
    -DWORK=${CMAKE_BINARY_DIR}/fuzz-run/registrar
    -DSECONDS=${ORRELIN_FUZZ_SECONDS}
    -P ${CMAKE_SOURCE_DIR}/fuzz/run-fuzzer.cmake)
set_tests_properties(native.registrar_fuzz PROPERTIES LABELS "native;fuzz" TIMEOUT 600)

# The layout reader, seeded with the generated .dfu files (the larger ones cut to 16 KiB).
# No single allocation over 2 MiB, and 80 MiB of RSS for everything: ASan and libFuzzer
# alone take about 38 MiB here and a 45 s run peaks near 60, so the limit leaves room for a
# faster machine's larger corpus, not for a reader that allocates what an input states.
set(ORRELIN_LAYOUT_FUZZ_SECONDS 45 CACHE STRING "How long the layout reader's fuzz test runs")
add_test(NAME native.dfu_layout_fuzz
  COMMAND ${CMAKE_COMMAND}
    -DFUZZER=${CMAKE_BINARY_DIR}/fuzz/dfu_layout_fuzz
    -DCORPUS=${CMAKE_BINARY_DIR}/tests/engine/layout-samples
    -DDICT=
    -DRSS_MB=80
    -DMAX_LEN=16384
    -DMALLOC_MB=2
    -DQUARANTINE_MB=4
    -DWORK=${CMAKE_BINARY_DIR}/fuzz-run/dfu_layout
    -DSECONDS=${ORRELIN_LAYOUT_FUZZ_SECONDS}
    -P ${CMAKE_SOURCE_DIR}/fuzz/run-fuzzer.cmake)
set_tests_properties(native.dfu_layout_fuzz PROPERTIES LABELS "native;fuzz" TIMEOUT 600)

# The HEX and S-record readers, seeded with a few files of both formats. Each input is small
# and read, written and read again in memory, so a short run covers much; the same small RSS
# limit as the layout reader's, as neither reader may keep more than a line.
set(ORRELIN_TEXT_FUZZ_SECONDS 20 CACHE STRING "How long the HEX and S-record readers' fuzz test runs")
add_test(NAME native.firmware_text_fuzz
  COMMAND ${CMAKE_COMMAND}
    -DFUZZER=${CMAKE_BINARY_DIR}/fuzz/firmware_text_fuzz
    -DCORPUS=${CMAKE_SOURCE_DIR}/fuzz/corpus/firmware_text
    -DDICT=${CMAKE_SOURCE_DIR}/fuzz/firmware_text.dict
    -DRSS_MB=80
    -DMAX_LEN=8192
    -DMALLOC_MB=2
    -DQUARANTINE_MB=4
    -DWORK=${CMAKE_BINARY_DIR}/fuzz-run/firmware_text
    -DSECONDS=${ORRELIN_TEXT_FUZZ_SECONDS}
    -P ${CMAKE_SOURCE_DIR}/fuzz/run-fuzzer.cmake)
set_tests_properties(native.firmware_text_fuzz PROPERTIES LABELS "native;fuzz" TIMEOUT 600)
