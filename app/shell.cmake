# The shell's window-system seam. The Windows file needs no Qt, so it builds and is tested in
# the cross build along with net/; the X11 file reaches Qt's own X connection, so it is built
# only with Qt.
include_guard(GLOBAL)
if(NOT WIN32 AND VEXLO_NET_ONLY)
  return()
endif()
add_library(vexlo_shell STATIC ${CMAKE_CURRENT_LIST_DIR}/Shell.h)
vexlo_platform_sources(vexlo_shell
  POSIX ${CMAKE_CURRENT_LIST_DIR}/x11/ShellX11.cpp ${CMAKE_CURRENT_LIST_DIR}/x11/ShellX11.h
        ${CMAKE_CURRENT_LIST_DIR}/x11/ShellFonts.cpp
  WINDOWS ${CMAKE_CURRENT_LIST_DIR}/win/ShellWin.cpp)
if(WIN32)
  target_link_libraries(vexlo_shell PRIVATE user32)
else()
  find_package(X11 REQUIRED)
  find_package(Fontconfig REQUIRED)
  find_package(Qt6 6.4 REQUIRED COMPONENTS Gui)
  target_link_libraries(vexlo_shell PRIVATE X11::X11 X11::X11_xcb X11::xcb Fontconfig::Fontconfig
                                            Qt6::Gui)
endif()
target_link_libraries(vexlo_shell PRIVATE vexlo_warnings)
