# The shell's window-system seam, free of Qt so that the Windows file builds and is tested
# in the cross build along with net/. Kept outside any Qt-only branch for that reason.
include_guard(GLOBAL)
if(WIN32)
  add_library(vexlo_shell STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Shell.h
    ${CMAKE_CURRENT_LIST_DIR}/win/ShellWin.cpp)
  target_link_libraries(vexlo_shell PRIVATE user32)
else()
  find_package(X11 REQUIRED)
  add_library(vexlo_shell STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Shell.h
    ${CMAKE_CURRENT_LIST_DIR}/x11/ShellX11.cpp)
  target_link_libraries(vexlo_shell PRIVATE X11::X11)
endif()
target_include_directories(vexlo_shell PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vexlo_shell PRIVATE vexlo_warnings)
