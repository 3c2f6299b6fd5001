#pragma once
// Where this build keeps what a test or benchmark reads or starts: the source tree, the
// programs it built. They name this clone's folders, so they stay out of the tests' own
// objects, which are then the same in every clone and come from the shared compiler cache:
// CMake writes each target that names them a small source file of their values
// (vexlo_build_paths, cmake/BuildPaths.cmake). Reading one the target does not name fails
// to link.
namespace buildpaths {
extern const char* const SourceDir;         // the source tree
extern const char* const NetlabDir;         // tests/netlab of the source tree, with lab.sh
extern const char* const VexloProgram;      // the vexlo this build made
extern const char* const RawHelperProgram;  // the vexlo-raw-helper this build made
extern const char* const StatusLineProgram; // e2e_status_line
extern const char* const E2eArtifacts;      // where the e2e tests leave their pictures
extern const char* const WindowsBuild;      // the cross build whose vexlo.exe runs under Wine
extern const char* const StartupVexlo;      // bench_startup_vexlo
extern const char* const StartupMinimal;    // bench_startup_minimal
extern const char* const StartupRawHelper;  // vexlo-raw-helper
} // namespace buildpaths
