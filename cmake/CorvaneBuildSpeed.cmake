# Build cost: the linker, the amount of debug information and the headers every test parses.
# None of these change what is compiled or checked: the same sources, warnings and sanitizers.
include(CheckLinkerFlag)

# lld links the test and benchmark executables in a fraction of the time and memory of ld.bfd.
# Without it the default linker is used unchanged.
option(CORVANE_USE_LLD "Link with lld when the compiler can use it" ON)
if(CORVANE_USE_LLD)
  check_linker_flag(CXX "-fuse-ld=lld" CORVANE_HAVE_LLD)
  if(CORVANE_HAVE_LLD)
    add_link_options(-fuse-ld=lld)
  endif()
endif()

# RelWithDebInfo keeps file and line tables (backtraces, sanitizer and profiler reports, stepping
# by line) but leaves out variable and type information, which costs most of the compile and link
# time. -DCORVANE_FULL_DEBUG_INFO=ON brings the full information back for a debugging session.
# The sanitizer build (Debug) keeps only line tables too: they are all its reports need, and with
# full information that build took about 3 GB of disk, enough to fill a small one while linking.
option(CORVANE_FULL_DEBUG_INFO "Full debug information in RelWithDebInfo and sanitizer builds" OFF)
if(NOT CORVANE_FULL_DEBUG_INFO)
  set(line_tables_only_configs RELWITHDEBINFO)
  if(CORVANE_SANITIZE)
    list(APPEND line_tables_only_configs DEBUG)
  endif()
  foreach(config IN LISTS line_tables_only_configs)
    foreach(lang C CXX)
      string(REGEX REPLACE "(^| )-g( |$)" "\\1-gline-tables-only\\2" CMAKE_${lang}_FLAGS_${config}
             "${CMAKE_${lang}_FLAGS_${config}}")
    endforeach()
  endforeach()
endif()

# Thin archives: a static library lists its object files instead of holding a second copy of them.
foreach(lang C CXX)
  set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcT <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qT <TARGET> <LINK_FLAGS> <OBJECTS>")
endforeach()

# Every test file starts with GoogleTest's header, the heaviest one it parses: each test executable
# parses it once into a precompiled header. -DCMAKE_DISABLE_PRECOMPILE_HEADERS=ON builds without.
set(CORVANE_TEST_PRECOMPILED_HEADERS <gtest/gtest.h>)

# The standard library headers most files include, precompiled once per library and test
# executable, with the Qt Widgets ones for the widget libraries (a widget file that includes GLib
# sets SKIP_PRECOMPILE_HEADERS: Qt's `signals` macro breaks GLib's headers). A precompiled header
# would hide an include a file forgets, so only one of the two CI builds uses them: the sanitizer
# build, where parsing is half of each file's cost. The normal build compiles every file on its
# own includes and reports any that is missing.
option(CORVANE_PRECOMPILE_COMMON_HEADERS
       "Precompile the common standard library and Qt headers" ${CORVANE_SANITIZE})
set(CORVANE_COMMON_PRECOMPILED_HEADERS
    <algorithm> <cstdint> <filesystem> <functional> <map> <memory> <mutex> <optional> <set>
    <string> <string_view> <utility> <vector>)
set(CORVANE_QT_PRECOMPILED_HEADERS <QPainter> <QPointer> <QWidget>)

# Precompiles the common headers for a target; QT adds the Qt Widgets ones.
function(corvane_precompile_common_headers target)
  if(NOT CORVANE_PRECOMPILE_COMMON_HEADERS)
    return()
  endif()
  cmake_parse_arguments(ARG "QT" "" "" ${ARGN})
  target_precompile_headers(${target} PRIVATE ${CORVANE_COMMON_PRECOMPILED_HEADERS})
  if(ARG_QT)
    target_precompile_headers(${target} PRIVATE ${CORVANE_QT_PRECOMPILED_HEADERS})
  endif()
endfunction()

# ccache leaves files compiled against a precompiled header uncached unless it may ignore the
# header's defines and time macros: a ccache launcher runs with that allowance.
foreach(lang C CXX)
  if(CMAKE_${lang}_COMPILER_LAUNCHER MATCHES "ccache")
    set(CMAKE_${lang}_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env
        CCACHE_SLOPPINESS=pch_defines,time_macros ${CMAKE_${lang}_COMPILER_LAUNCHER})
  endif()
endforeach()
