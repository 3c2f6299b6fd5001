# libcap (Debian: libcap-dev) as the imported target Libcap::Libcap. Each folder that calls
# it finds it itself: find_package(Libcap REQUIRED).
find_path(Libcap_INCLUDE_DIR sys/capability.h)
find_library(Libcap_LIBRARY cap)
mark_as_advanced(Libcap_INCLUDE_DIR Libcap_LIBRARY)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Libcap REQUIRED_VARS Libcap_LIBRARY Libcap_INCLUDE_DIR)

if(Libcap_FOUND AND NOT TARGET Libcap::Libcap)
  add_library(Libcap::Libcap UNKNOWN IMPORTED)
  set_target_properties(Libcap::Libcap PROPERTIES
    IMPORTED_LOCATION "${Libcap_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Libcap_INCLUDE_DIR}")
endif()
