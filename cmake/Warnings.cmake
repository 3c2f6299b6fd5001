# One place for the warning set every target uses.
add_library(vexlo_warnings INTERFACE)
target_compile_options(vexlo_warnings INTERFACE
  -Wall -Wextra -Wpedantic
  -Werror=return-type -Werror=uninitialized -Werror=non-virtual-dtor
  -Werror=format -Werror=delete-non-virtual-dtor)
