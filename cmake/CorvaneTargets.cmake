# One static library per source folder: every .cpp directly in the folder belongs to it.
# Folders own their own file lists this way, so adding a file never touches a shared list.
# QT marks a library of Qt widgets (it precompiles the Qt headers too).
function(corvane_library name)
  cmake_parse_arguments(ARG "QT" "DIR" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CORVANE_SOURCE_ROOT})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
    if(ARG_QT)
      corvane_precompile_common_headers(${name} QT)
    else()
      corvane_precompile_common_headers(${name})
    endif()
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CORVANE_SOURCE_ROOT})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# One GoogleTest executable per test folder. ENV entries are set for every test it holds.
function(corvane_test name)
  cmake_parse_arguments(ARG "" "DIR;TIMEOUT" "DEPS;ENV;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CORVANE_SOURCE_ROOT})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_precompile_headers(${name} PRIVATE ${CORVANE_TEST_PRECOMPILED_HEADERS})
  # Without the Qt headers: Qt's keyword macros (signals, slots) must not reach a test's GLib ones.
  corvane_precompile_common_headers(${name})
  # Screenshots and other artefacts a person may look at stay inside the build folder.
  target_compile_definitions(${name} PRIVATE
    CORVANE_TEST_ARTIFACT_DIR="${CMAKE_BINARY_DIR}/test-artifacts")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  # Empty property values would shift the key/value pairs, so only given ones are passed.
  set(properties TIMEOUT ${ARG_TIMEOUT})
  if(ARG_ENV)
    list(APPEND properties ENVIRONMENT "${ARG_ENV}")
  endif()
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  # The tests of a Qt child (fixtures named *X11Child) run only inside their parent test's child
  # process: registered, each would be listed as skipped and hide the tests that truly skipped.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_FILTER "-*X11Child.*"
    PROPERTIES ${properties})
endfunction()

# `target` runs demo/'s sample X client: it is built first and its path is CORVANE_X11_TEST_CLIENT
# (what support/x11/test_client.h starts). Nothing when `target` is not built.
function(corvane_uses_x11_test_client target)
  if(TARGET ${target})
    add_dependencies(${target} x11_test_client)
    target_compile_definitions(${target} PRIVATE
      CORVANE_X11_TEST_CLIENT="$<TARGET_FILE:x11_test_client>")
  endif()
endfunction()
