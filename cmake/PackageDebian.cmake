# The Debian package: `cpack -G DEB` in a build folder makes vexlo_<version>_<arch>.deb.
# Build it from a Release configuration (the release preset): the program is stripped here.
include(GNUInstallDirs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexlo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check whether a network host answers a ping")
set(CPACK_PACKAGE_DESCRIPTION
  "Vexlo tells whether a network host answers one ICMP echo request. It is\n"
  "a small borderless window that stays above the others: type an IPv4\n"
  "address, a host name or a name from the host list, press Enter, and its\n"
  "status line says whether a reply came, the ping timed out or what went\n"
  "wrong.")
string(CONCAT CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(VEXLO_PACKAGE_MAINTAINER "The Vexlo developers <maintainers@vexlo.example.org>"
  CACHE STRING "The Debian package's maintainer, name and address")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VEXLO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VEXLO_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# setcap gives the capability on install; the program works without it where the system
# admits its users to ICMP datagram sockets. The window's look is the bitmap font; without
# it the window takes a scalable sans.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libcap2-bin, fonts-wine")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Every Debian package documents its licence and changes in its own doc folder.
set(DebianDoc ${CMAKE_INSTALL_DATAROOTDIR}/doc/vexlo)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE VexloLicence)
string(REGEX REPLACE "\n$" "" VexloLicence "${VexloLicence}")
string(REGEX REPLACE "\n\n" "\n.\n" VexloLicence "${VexloLicence}")
string(REGEX REPLACE "\n" "\n " VexloLicence "${VexloLicence}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: Vexlo\n"
  "Source: ${VEXLO_HOMEPAGE}\n\n"
  "Files: *\n"
  "Copyright: 2026 The Vexlo developers\n"
  "License: Expat\n"
  " ${VexloLicence}\n")
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog
  ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
  COMMAND gzip -9 -n -f -k ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog
  VERBATIM)
add_custom_target(vexlo_debian_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright
              ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
  DESTINATION ${DebianDoc})

include(CPack)
