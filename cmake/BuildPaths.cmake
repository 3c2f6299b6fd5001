# vexlo_build_paths(<target> <name> <value> [<name> <value>]...): gives <target> the values
# of buildpaths::<name> (tests/support/BuildPaths.h), in a source file of its own that CMake
# writes; a value may hold generator expressions such as $<TARGET_FILE:vexlo>. As compile
# definitions they would put this clone's folders into every compile command of the target,
# and the shared compiler cache (cmake/CompilerCache.cmake) would miss those objects in
# every other clone.
function(vexlo_build_paths TARGET)
  set(Content "#include \"tests/support/BuildPaths.h\"\n")
  while(ARGN)
    list(POP_FRONT ARGN Name Value)
    string(REPLACE "\\" "\\\\" Value "${Value}")
    string(REPLACE "\"" "\\\"" Value "${Value}")
    string(APPEND Content "const char* const buildpaths::${Name} = \"${Value}\";\n")
  endwhile()
  set(File ${CMAKE_CURRENT_BINARY_DIR}/${TARGET}_build_paths.cpp)
  file(GENERATE OUTPUT ${File} CONTENT "${Content}")
  target_sources(${TARGET} PRIVATE ${File})
endfunction()
