# Drives the two Windows builds from the native one: each architecture is its own CMake
# build under this build folder, and their tests join this folder's CTest run, sharing one
# Wine prefix that a fixture starts before the first Windows test and stops after the last.
include(ExternalProject)

set(ORRELIN_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(windows_dirs "")
foreach(arch i686 x86_64)
  ExternalProject_Add(orrelin-${arch}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/${arch}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchain-${arch}-w64-mingw32.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DORRELIN_WINEPREFIX=${ORRELIN_WINEPREFIX}
      -DORRELIN_WARNINGS_AS_ERRORS=${ORRELIN_WARNINGS_AS_ERRORS}
    BUILD_ALWAYS ON
    # The demo configures one architecture this way, then builds only what it shows.
    STEP_TARGETS configure
    INSTALL_COMMAND ""
    TEST_COMMAND "")
  string(APPEND windows_dirs " \"${CMAKE_BINARY_DIR}/${arch}\"")
endforeach()

add_test(NAME wine.prefix.start
         COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh start ${ORRELIN_WINEPREFIX})
add_test(NAME wine.prefix.stop
         COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh stop ${ORRELIN_WINEPREFIX})
set_tests_properties(wine.prefix.start PROPERTIES FIXTURES_SETUP wine LABELS wine)
set_tests_properties(wine.prefix.stop PROPERTIES FIXTURES_CLEANUP wine LABELS wine)

file(WRITE ${CMAKE_BINARY_DIR}/windows-tests.cmake "subdirs(${windows_dirs})\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/windows-tests.cmake)

# The setup program, packed from both architectures' DLLs, and its tests.
add_subdirectory(${CMAKE_SOURCE_DIR}/installer ${CMAKE_BINARY_DIR}/installer)
