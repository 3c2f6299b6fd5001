# The shell's window-system seam, free of Qt so that the Windows file builds and is tested
# in the cross build along with net/. Kept outside any Qt-only branch for that reason.
include_guard(GLOBAL)
add_library(vexlo_shell STATIC ${CMAKE_CURRENT_LIST_DIR}/Shell.h)
vexlo_platform_sources(vexlo_shell
  POSIX ${CMAKE_CURRENT_LIST_DIR}/x11/ShellX11.cpp
  WINDOWS ${CMAKE_CURRENT_LIST_DIR}/win/ShellWin.cpp)
if(WIN32)
  target_link_libraries(vexlo_shell PRIVATE user32)
else()
  find_package(X11 REQUIRED)
  target_link_libraries(vexlo_shell PRIVATE X11::X11)
endif()
target_link_libraries(vexlo_shell PRIVATE vexlo_warnings)
