# Shared compile settings for every Tavrin target.
add_library(tavrin_options INTERFACE)
target_compile_options(tavrin_options INTERFACE -Wall -Wextra -Wpedantic -Werror)
target_compile_definitions(tavrin_options INTERFACE QT_NO_KEYWORDS QT_USE_QSTRINGBUILDER)
if(TAVRIN_SANITIZE)
  target_compile_options(tavrin_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(tavrin_options INTERFACE -fsanitize=address,undefined)
endif()
if(TAVRIN_FUZZ)
  target_compile_options(tavrin_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                                                   -fno-sanitize-recover=undefined)
  target_link_options(tavrin_options INTERFACE -fsanitize=address,undefined)
endif()

# tavrin_subsystem(NAME SOURCES... [DEPS ...]): one shared library per subsystem, named tavrin_NAME,
# which the programs, the loadable modules and the tests all link, so that a process holds one copy
# of each subsystem (its statics, its meta-objects) however many of them load it. It lies in
# <libdir>/tavrin, in the build tree as in the package, and finds its neighbours there.
# Only Tavrin's own namespace is exported (cmake/subsystem-exports.map): the rest is local to the
# library, as with hidden visibility, without an export mark on every class.
set(TAVRIN_EXPORTS_MAP ${CMAKE_CURRENT_LIST_DIR}/subsystem-exports.map)
function(tavrin_subsystem name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(tavrin_${name} SHARED ${ARG_SOURCES})
  target_include_directories(tavrin_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(tavrin_${name} PUBLIC tavrin_options ${ARG_DEPS})
  target_link_options(tavrin_${name} PRIVATE LINKER:--version-script=${TAVRIN_EXPORTS_MAP} LINKER:--as-needed)
  # Every symbol resolved at link time, so that a missing dependency fails the build, not a start;
  # clang does not link its sanitizer runtime into shared libraries, whose symbols then come from the program.
  if(NOT TAVRIN_FUZZ)
    target_link_options(tavrin_${name} PRIVATE LINKER:--no-undefined)
  endif()
  set_target_properties(tavrin_${name} PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${TAVRIN_LIBRARY_BUILD_DIR} LINK_DEPENDS ${TAVRIN_EXPORTS_MAP}
    INSTALL_RPATH "$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)
  install(TARGETS tavrin_${name} LIBRARY DESTINATION ${TAVRIN_MODULE_INSTALL_DIR} NAMELINK_SKIP)
  set_property(GLOBAL APPEND PROPERTY TAVRIN_SUBSYSTEMS tavrin_${name})
endfunction()

# tavrin_program(TARGET): an installed program in <bindir>, which finds the subsystems in
# <libdir>/tavrin by a path relative to itself, the same in the build tree and once installed.
function(tavrin_program target)
  file(RELATIVE_PATH to_libraries /${CMAKE_INSTALL_BINDIR} /${TAVRIN_MODULE_INSTALL_DIR})
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${to_libraries}" BUILD_WITH_INSTALL_RPATH ON)
endfunction()

# tavrin_module(TARGET): a loadable module, beside the programs in the build tree and beside the
# subsystems once installed.
function(tavrin_module target)
  set_target_properties(${target} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    BUILD_RPATH_USE_ORIGIN ON INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${target} LIBRARY DESTINATION ${TAVRIN_MODULE_INSTALL_DIR})
endfunction()

# The subsystems defined so far (tavrin_NAME), for what links them all; SCREENS says whether the
# Qt Widgets ones (the views, ui, app) are wanted.
function(tavrin_subsystems out)
  cmake_parse_arguments(ARG "SCREENS" "" "" ${ARGN})
  get_property(all GLOBAL PROPERTY TAVRIN_SUBSYSTEMS)
  if(NOT ARG_SCREENS)
    list(FILTER all EXCLUDE REGEX "^tavrin_(app|ui|.*_views)$")
  endif()
  set(${out} ${all} PARENT_SCOPE)
endfunction()

# tavrin_test(NAME [GUI] SOURCES... DEPS ... [LABELS ...] [TIMEOUT s]): one GoogleTest executable
# registered with CTest; GUI tests get a QApplication on the offscreen platform.
function(tavrin_test name)
  cmake_parse_arguments(ARG "GUI" "TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE tavrin_gui_test_main Qt6::Widgets Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE tavrin_test_main)
  endif()
  target_link_libraries(${name} PRIVATE tavrin_options ${ARG_DEPS} GTest::gtest GTest::gmock tavrin_testsupport Qt6::Test)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  if(NOT ARG_LABELS)
    set(ARG_LABELS unit)
  endif()
  # PROPERTIES is one flat list handed through two scripts, so a value holding a `;` loses all
  # but its first item: one variable per property.
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}"
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
               ENVIRONMENT_MODIFICATION "TAVRIN_MODULE_DIR=set:${CMAKE_BINARY_DIR}/bin")
endfunction()
