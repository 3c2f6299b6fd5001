# What makes the program a Windows program: no console window, its icon (made from the same
# text picture as the window's) and version in the file, one static file kept small.
#
#   vexlo_windows_program(<target>)
function(vexlo_windows_program TARGET)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(Ico ${CMAKE_CURRENT_BINARY_DIR}/vexlo.ico)
  add_custom_command(
    OUTPUT ${Ico}
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/cmake/xpm_to_ico.py
            ${PROJECT_SOURCE_DIR}/resources/icon.xpm ${Ico}
    DEPENDS ${PROJECT_SOURCE_DIR}/resources/icon.xpm ${PROJECT_SOURCE_DIR}/cmake/xpm_to_ico.py
    VERBATIM)
  set(VEXLO_ICO ${Ico})
  # Four numbers, as the version resource wants them: 0.1 -> 0,1,0,0.
  set(VEXLO_RC_VERSION "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},0,0")
  if(PROJECT_VERSION_PATCH)
    set(VEXLO_RC_VERSION "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/app/win/vexlo.rc.in ${CMAKE_CURRENT_BINARY_DIR}/vexlo.rc @ONLY)
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/vexlo.rc PROPERTIES OBJECT_DEPENDS ${Ico})
  target_sources(${TARGET} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/vexlo.rc)
  set_target_properties(${TARGET} PROPERTIES WIN32_EXECUTABLE ON)
  # The window needs only the Windows platform plugin: no image format, style or other
  # platform plugin goes into the file.
  qt_import_plugins(${TARGET}
    INCLUDE_BY_TYPE platforms Qt6::QWindowsIntegrationPlugin
    EXCLUDE_BY_TYPE imageformats styles generic)
  # Unused functions and data of Qt and the program are left out; the symbols too.
  target_link_options(${TARGET} PRIVATE -Wl,--gc-sections -s)
endfunction()
