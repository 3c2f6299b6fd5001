# What a Windows user downloads, from the cross build: a zip to unpack anywhere and an
# installer for all users. Both hold the program, its help page beside it and the licence.
#   cpack -G ZIP   -> vexlo-<version>-win64.zip
#   cpack -G NSIS  -> vexlo-<version>-win64.exe (Debian's nsis package makes it on Linux)
# Only the files of the component below go in, whatever else the tree installs for Linux.
install(TARGETS vexlo RUNTIME DESTINATION . COMPONENT windows)
install(FILES ${PROJECT_SOURCE_DIR}/resources/help.html DESTINATION . RENAME vexlo.html
  COMPONENT windows)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt COMPONENT windows)

set(CPACK_PACKAGE_NAME vexlo)
set(CPACK_PACKAGE_VENDOR "The Vexlo developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Vexlo: ping a host from a small window")
set(CPACK_PACKAGE_FILE_NAME vexlo-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Vexlo)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR ZIP)
set(CPACK_COMPONENTS_ALL windows)
# One package of that one component: the Linux desktop entry and icon stay out.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
# Unpacked, the files land in a folder named like the zip.
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENT_WINDOWS_DISPLAY_NAME Vexlo)
set(CPACK_COMPONENT_WINDOWS_REQUIRED ON)

# The installer: for all users, into Program Files, with a Start-menu entry and an
# uninstaller; the program keeps its host list in each user's own folder there.
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME Vexlo)
set(CPACK_NSIS_PACKAGE_NAME Vexlo)
set(CPACK_PACKAGE_EXECUTABLES vexlo Vexlo)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALLED_ICON_NAME vexlo.exe)
set(CPACK_NSIS_MUI_ICON ${CMAKE_BINARY_DIR}/app/vexlo.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_BINARY_DIR}/app/vexlo.ico)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# A 64-bit installer for a 64-bit program: it writes the 64-bit registry, and it runs where
# only 64-bit Windows programs can (a Wine without its 32-bit half, for one). CPack has no
# setting for it and fills its defines itself where components are used: the line rides
# on the compressor's.
set(CPACK_NSIS_COMPRESSOR "lzma\n  Target amd64-unicode")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackageWindowsGenerator.cmake)
include(CPack)
