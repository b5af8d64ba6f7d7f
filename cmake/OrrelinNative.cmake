# Native Linux build of the portable core and its tests.
find_package(ZLIB REQUIRED)
include(OrrelinGTest)
include(OrrelinTesting)
include(OrrelinSanitizers)
set(ORRELIN_TEST_PREFIX "native.")
add_subdirectory(engine)
add_subdirectory(registrar)
add_subdirectory(tests)
add_subdirectory(bench)
# libFuzzer targets of the portable core, built with clang and run as native tests.
include(${CMAKE_SOURCE_DIR}/fuzz/native-fuzz.cmake)
