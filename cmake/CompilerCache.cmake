# Every compilation goes through ccache when it is installed, in one cache that every clone
# on the machine shares: a fresh clone then compiles only what no clone compiled before.
# Without ccache, or with -DVEXLO_COMPILER_CACHE=OFF, the compiler runs directly.
#
# Two clones of one commit give the same objects: the -ffile-prefix-map flags keep the
# clone's folder out of them. So ccache may leave the folder out of its key as well: paths
# below the source root are hashed relative to it (base_dir), and the working folder is not
# hashed (hash_dir), as the debug information does not record it. ccache leaves the maps'
# folders out of its key too, so the maps themselves, with the folders taken out, name the
# cache's namespace: a change to them compiles everything again. Include this after the
# maps are set.
option(VEXLO_COMPILER_CACHE "Compile through ccache when it is installed" ON)
if(DEFINED ENV{VEXLO_CACHE})
  set(VexloCacheRoot "$ENV{VEXLO_CACHE}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(VexloCacheRoot "$ENV{XDG_CACHE_HOME}/vexlo")
else()
  set(VexloCacheRoot "$ENV{HOME}/.cache/vexlo")
endif()
set(VEXLO_COMPILER_CACHE_DIR "${VexloCacheRoot}/ccache" CACHE PATH
  "The compiler cache that every clone on this machine shares")
set(VEXLO_COMPILER_CACHE_SIZE "2G" CACHE STRING "The compiler cache's size cap")
unset(VexloCacheRoot)

find_program(VEXLO_CCACHE_PROGRAM ccache)
if(CMAKE_CXX_COMPILER_LAUNCHER)
  message(STATUS "Compiler launcher: ${CMAKE_CXX_COMPILER_LAUNCHER} (given)")
elseif(VEXLO_COMPILER_CACHE AND VEXLO_CCACHE_PROGRAM)
  # ccache reads its settings from the environment: the cache is the machine's, the base
  # folder this clone's. An explicit CCACHE_DISABLE in the build's environment still wins.
  get_directory_property(VexloMaps COMPILE_OPTIONS)
  list(FILTER VexloMaps INCLUDE REGEX "prefix-map=")
  string(REPLACE "${PROJECT_BINARY_DIR}" "<build>" VexloMaps "${VexloMaps}")
  string(REPLACE "${PROJECT_SOURCE_DIR}" "<source>" VexloMaps "${VexloMaps}")
  string(MD5 VexloNamespace "${VexloMaps}")
  string(SUBSTRING "${VexloNamespace}" 0 12 VexloNamespace)
  set(VexloLauncher ${CMAKE_COMMAND} -E env
    "CCACHE_NAMESPACE=vexlo-${VexloNamespace}"
    "CCACHE_DIR=${VEXLO_COMPILER_CACHE_DIR}"
    "CCACHE_MAXSIZE=${VEXLO_COMPILER_CACHE_SIZE}"
    "CCACHE_BASEDIR=${PROJECT_SOURCE_DIR}"
    CCACHE_NOHASHDIR=1
    "${VEXLO_CCACHE_PROGRAM}")
  # The cap in the cache's own settings as well, so that `ccache -s` shows it.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env "CCACHE_DIR=${VEXLO_COMPILER_CACHE_DIR}"
    "${VEXLO_CCACHE_PROGRAM}" --max-size=${VEXLO_COMPILER_CACHE_SIZE} OUTPUT_QUIET ERROR_QUIET)
  set(CMAKE_C_COMPILER_LAUNCHER ${VexloLauncher})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${VexloLauncher})
  message(STATUS "Compiler cache: ${VEXLO_COMPILER_CACHE_DIR} (cap ${VEXLO_COMPILER_CACHE_SIZE})")
  unset(VexloLauncher)
  unset(VexloMaps)
  unset(VexloNamespace)
else()
  message(STATUS "Compiler cache: none (ccache not found or VEXLO_COMPILER_CACHE off)")
endif()
