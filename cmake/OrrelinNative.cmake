# Native Linux build of the portable core and its tests.
find_package(ZLIB REQUIRED)
include(OrrelinGTest)
include(OrrelinTesting)
set(ORRELIN_TEST_PREFIX "native.")
add_subdirectory(engine)
add_subdirectory(tests)
