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
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
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
  endif()
endfunction()
