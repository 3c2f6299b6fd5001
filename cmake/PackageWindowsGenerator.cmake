# Read by cpack for each generator: the zip unpacks into a folder of its own; the installer
# puts the files straight into the folder the user chose.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
