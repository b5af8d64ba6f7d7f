# The peer tool that writes and checks DFU suffixes: tests make their sample files with it
# and hold the engine against it (package dfu-util).
find_program(ORRELIN_DFU_SUFFIX dfu-suffix REQUIRED)

# orrelin_add_test(<target> [UI] [REGISTRY])
# Registers a GoogleTest executable with CTest. In a Windows build the test runs through
# Wine (the target's cross-compiling emulator) inside the build's own prefix; UI tests are
# marked so a run without a display can tell why they fail. REGISTRY tests change the
# prefix's shared registration (HKCR associations, the approved list), so no two of them,
# of either architecture, run at once.
function(orrelin_add_test target)
  cmake_parse_arguments(ARG "UI;REGISTRY" "" "" ${ARGN})
  set(name ${ORRELIN_TEST_PREFIX}${target})
  add_test(NAME ${name} COMMAND ${target} --gtest_color=no)
  set_tests_properties(${name} PROPERTIES WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>)
  if(WIN32)
    # A 32-bit build's programs run through a gate that answers 77 where they cannot run.
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77)
    if(ARG_REGISTRY)
      set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine-registration)
    endif()
    if(ARG_UI)
      set_tests_properties(${name} PROPERTIES LABELS "wine;ui")
    else()
      set_tests_properties(${name} PROPERTIES LABELS "wine")
    endif()
  else()
    set_tests_properties(${name} PROPERTIES LABELS native)
  endif()
endfunction()

# orrelin_test_executable(<target> SOURCES ... [LIBS ...] [DOUBLE])
# A GoogleTest executable. DOUBLE puts it beside the engine's test double, so the loader
# resolves Korvex.dll to the double instead of the real engine.
function(orrelin_test_executable target)
  cmake_parse_arguments(ARG "DOUBLE" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  orrelin_warnings(${target})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  if(WIN32 AND ARG_DOUBLE)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORRELIN_DOUBLE_DIR})
    add_dependencies(${target} orrelin_beside_double)
  endif()
endfunction()

# orrelin_copy_into_folder(<name> FOLDER <dir> TARGETS <target>...)
# A target that keeps copies of the given targets' files in <dir>, so that a program there
# loads those (the engine's test double as Korvex.dll, a copy of Orrelin.dll, the stand-in
# wizard) instead of the ones in the build's bin folder.
function(orrelin_copy_into_folder name)
  cmake_parse_arguments(ARG "" "FOLDER" "TARGETS" ${ARGN})
  set(commands COMMAND ${CMAKE_COMMAND} -E make_directory ${ARG_FOLDER})
  foreach(target IN LISTS ARG_TARGETS)
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}> ${ARG_FOLDER}/)
  endforeach()
  add_custom_target(${name} ALL ${commands} VERBATIM)
  add_dependencies(${name} ${ARG_TARGETS})
endfunction()
