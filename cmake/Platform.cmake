# The one way a folder picks its platform files: it names both sets, and the build takes
# those of the platform it builds for. Logic files never choose with #ifdef.
#
# POSIX means Linux here: the posix/ folders use calls that only Linux has (O_TMPFILE and
# fallocate for the host list's saves, /proc/self/fd and /proc/self/exe, IP_RECVERR and the
# error queue of the ICMP datagram socket, libcap's capabilities). Another POSIX system would
# need its own folders beside them.
#
#   vexlo_pick_platform(<var> POSIX <items>... WINDOWS <items>...)
#     sets <var> to the items of the platform the build is for.
#   vexlo_platform_sources(<target> POSIX <files>... WINDOWS <files>...)
#     adds those files to the target.
function(vexlo_pick_platform VAR)
  cmake_parse_arguments(P "" "" "POSIX;WINDOWS" ${ARGN})
  if(WIN32)
    set(${VAR} ${P_WINDOWS} PARENT_SCOPE)
  else()
    set(${VAR} ${P_POSIX} PARENT_SCOPE)
  endif()
endfunction()

function(vexlo_platform_sources TARGET)
  vexlo_pick_platform(Files ${ARGN})
  target_sources(${TARGET} PRIVATE ${Files})
endfunction()
