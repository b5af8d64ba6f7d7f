# One Windows architecture, cross-built with mingw-w64 and tested under Wine.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ORRELIN_ARCH x86_64)
  set(ORRELIN_WINE_LOADER_NAME wine64)
  set(ORRELIN_WINE_GATE "")
  # GoogleTest's objects exceed the default section count of 64-bit COFF.
  add_compile_options(-Wa,-mbig-obj)
else()
  set(ORRELIN_ARCH i686)
  set(ORRELIN_WINE_LOADER_NAME wine)
  # Its programs run only where the machine runs 32-bit programs; its tests are skipped
  # elsewhere, and the build itself goes on everywhere.
  set(ORRELIN_WINE_GATE "${CMAKE_SOURCE_DIR}/cmake/runs-32bit.sh")
endif()
set(ORRELIN_TEST_PREFIX "${ORRELIN_ARCH}.")

# A failure's trace names its file from the source folder, not the build machine's path.
add_compile_options(-fmacro-prefix-map=${CMAKE_SOURCE_DIR}/=)
# Windows 7 API level; UNICODE so every Windows call is the wide form.
add_compile_definitions(UNICODE _UNICODE WINVER=0x0601 _WIN32_WINNT=0x0601 _WIN32_IE=0x0800)
# No runtime DLLs besides the system's: libgcc and libstdc++ are linked in.
add_link_options(-static-libgcc -static-libstdc++ -static)

set(ORRELIN_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix for tests and tools")
find_program(ORRELIN_WINE_LOADER ${ORRELIN_WINE_LOADER_NAME} PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(ORRELIN_WINE_LOADER ${ORRELIN_WINE_LOADER_NAME})
if(NOT ORRELIN_WINE_LOADER)
  message(FATAL_ERROR "Wine loader ${ORRELIN_WINE_LOADER_NAME} not found (packages wine, wine64, wine32:i386)")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

set(ORRELIN_BIN_DIR ${CMAKE_BINARY_DIR}/bin)
set(ORRELIN_DOUBLE_DIR ${CMAKE_BINARY_DIR}/bin/double)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${ORRELIN_BIN_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${ORRELIN_BIN_DIR})
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
file(MAKE_DIRECTORY ${ORRELIN_DOUBLE_DIR})

# zlib for the engine's CRC, linked statically from libz-mingw-w64-dev.
find_library(ORRELIN_ZLIB_STATIC NAMES libz.a REQUIRED)
find_path(ORRELIN_ZLIB_INCLUDE zlib.h REQUIRED)
add_library(orrelin_zlib INTERFACE)
target_link_libraries(orrelin_zlib INTERFACE ${ORRELIN_ZLIB_STATIC})
target_include_directories(orrelin_zlib SYSTEM INTERFACE ${ORRELIN_ZLIB_INCLUDE})

include(OrrelinGTest)
include(OrrelinTesting)

add_subdirectory(framework)
add_subdirectory(engine)
add_subdirectory(resources)
add_subdirectory(shellext)
add_subdirectory(dfuview)
add_subdirectory(propertyhandler)
add_subdirectory(previewhandler)
add_subdirectory(explorercommand)
add_subdirectory(thumbnailprovider)
add_subdirectory(toolsmenu)
add_subdirectory(toolscommand)
add_subdirectory(registrar)
add_subdirectory(server)
add_subdirectory(dll)
add_subdirectory(tools)
add_subdirectory(tests)
add_subdirectory(bench)

# What the demo runs, and nothing else: the DLLs, the shell host and the stand-in wizard.
add_custom_target(demo)
add_dependencies(demo Orrelin Korvex dfushell brannoc)
