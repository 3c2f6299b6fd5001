# GoogleTest: the system package on Linux; the cross build compiles it from the
# Debian sources because no MinGW package of it exists.
if(CMAKE_CROSSCOMPILING)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  # googletest names its targets GTest::gtest and GTest::gtest_main itself.
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# vexlo_add_test(NAME name LABEL label SOURCES ... LIBS ... [PRIVILEGED filter]
#                [PROPERTIES ...]): one CTest entry per test case; in the cross build one entry
# for the whole program, which runs under the toolchain's emulator (Wine), where every
# process start costs dearly. PRIVILEGED names, as a --gtest_filter pattern, the cases that
# need root or a capability: they carry the label `privileged` instead, so that a developer's
# quick loop (`ctest -L 'unit|gui'`) holds only what an ordinary user can run.
function(vexlo_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL;PRIVILEGED" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main vexlo_warnings)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL} TIMEOUT 600 ${T_PROPERTIES})
  elseif(T_PRIVILEGED)
    gtest_discover_tests(${T_NAME}
      DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES TEST_FILTER "-${T_PRIVILEGED}"
      PROPERTIES LABELS ${T_LABEL} ${T_PROPERTIES})
    gtest_discover_tests(${T_NAME}
      DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES TEST_FILTER "${T_PRIVILEGED}"
      PROPERTIES LABELS privileged ${T_PROPERTIES})
  else()
    gtest_discover_tests(${T_NAME}
      DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
      PROPERTIES LABELS ${T_LABEL} ${T_PROPERTIES})
  endif()
endfunction()

# vexlo_add_gui_test(NAME name SOURCES ... LIBS ... [LABEL label] [ENVIRONMENT ...]
#                    [OWN_APPLICATION]): a GoogleTest program on the offscreen platform, with
# the shared GUI main (tests/support), running under a plain QApplication unless it brings
# its own (a MakeTestApplication of its own, tests/support/GuiTestMain.h).
function(vexlo_add_gui_test)
  cmake_parse_arguments(T "OWN_APPLICATION" "NAME;LABEL" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL gui)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} vexlo_gui_test_main vexlo_warnings)
  if(NOT T_OWN_APPLICATION)
    target_link_libraries(${T_NAME} PRIVATE vexlo_gui_test_application)
  endif()
  if(CMAKE_CROSSCOMPILING)
    # Under Wine, as the other Windows tests: one entry per program, the offscreen platform
    # linked in, as a static Qt loads no plugin at run time.
    qt_import_plugins(${T_NAME} INCLUDE_BY_TYPE platforms Qt6::QOffscreenIntegrationPlugin)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES LABELS windows TIMEOUT 600
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${T_ENVIRONMENT}")
    return()
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
    PROPERTIES LABELS ${T_LABEL} ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${T_ENVIRONMENT}")
endfunction()
