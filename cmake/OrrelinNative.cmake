# Native Linux build of the portable core and its tests.
find_package(ZLIB REQUIRED)
include(OrrelinGTest)
include(OrrelinTesting)
include(OrrelinSanitizers)
set(ORRELIN_TEST_PREFIX "native.")
add_subdirectory(engine)
add_subdirectory(registrar)
add_subdirectory(tools)
add_subdirectory(tests)
add_subdirectory(bench)
# libFuzzer targets of the portable core, built with clang and run as native tests.
include(${CMAKE_SOURCE_DIR}/fuzz/native-fuzz.cmake)

# Every C++ file follows .clang-format.
find_program(ORRELIN_CLANG_FORMAT NAMES clang-format clang-format-14 REQUIRED)
add_test(NAME native.format
         COMMAND ${CMAKE_COMMAND} -E env CLANG_FORMAT=${ORRELIN_CLANG_FORMAT}
                 ${CMAKE_SOURCE_DIR}/scripts/check-format.sh)
set_tests_properties(native.format PROPERTIES LABELS native)
