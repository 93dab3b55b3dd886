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

# tavrin_subsystem(NAME SOURCES... [DEPS ...]): one static library per subsystem, named tavrin_NAME.
function(tavrin_subsystem name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(tavrin_${name} STATIC ${ARG_SOURCES})
  target_include_directories(tavrin_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(tavrin_${name} PUBLIC tavrin_options ${ARG_DEPS})
  # The loadable modules (tavrin_commands.so) link the subsystems too.
  set_target_properties(tavrin_${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
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
