# The program holds a capability once installed: it is built as Debian builds such programs
# (dpkg-buildflags with hardening=+all): fortified C library calls, a strong stack protector
# with stack-clash protection, control-flow protection, a position-independent executable
# and a read-only relocation table bound at start (full RELRO). Not in the sanitizer and fuzz builds, whose runtimes bring their own
# checks, nor for Windows, whose linker has flags of its own.
if(WIN32 OR VEXLO_SANITIZE OR VEXLO_FUZZ)
  return()
endif()
add_compile_options(-fstack-protector-strong -fstack-clash-protection -fcf-protection -Wformat
                    -Werror=format-security)
# The fortified calls need the optimiser; a Debug build would only warn.
add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()
add_link_options(LINKER:-z,relro LINKER:-z,now)
