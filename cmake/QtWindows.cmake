# The Windows cross build finds the static Qt for MinGW-w64 that scripts/qt-windows.sh keeps
# in its cache, with no argument: the script names the folder for the Qt version installed
# and its options. With that Qt the whole program builds; without it, as before, only the
# Qt-free code and its tests. -DVEXLO_WINDOWS_QT=<folder> names another Qt for MinGW-w64.
set(VEXLO_WINDOWS_QT "" CACHE PATH "Qt 6 for MinGW-w64 (empty: the one scripts/qt-windows.sh built)")
set(QtDir "${VEXLO_WINDOWS_QT}")
if(NOT QtDir)
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/qt-windows.sh --print-dir
    OUTPUT_VARIABLE QtDir OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE Failed)
  if(Failed)
    set(QtDir "")
  endif()
endif()
if(NOT VEXLO_NET_ONLY AND NOT EXISTS "${QtDir}/lib/cmake/Qt6/Qt6Config.cmake")
  message(STATUS "No Qt for MinGW-w64 (run scripts/qt-windows.sh): only the Qt-free code")
  set(VEXLO_NET_ONLY ON)
elseif(NOT VEXLO_NET_ONLY)
  message(STATUS "Qt for MinGW-w64: ${QtDir}")
  list(PREPEND CMAKE_PREFIX_PATH "${QtDir}")
  # The toolchain looks for libraries and headers below its root paths only.
  list(APPEND CMAKE_FIND_ROOT_PATH "${QtDir}")
  # moc, rcc and uic of the same version run on this machine.
  set(QT_HOST_PATH /usr CACHE PATH "")
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
  # Each function and datum in a section of its own, so that the link drops what is unused.
  add_compile_options(-ffunction-sections -fdata-sections)
endif()
unset(QtDir)
