#!/usr/bin/env bash
# The house style of the project's own sources: clang-format finds no line to change, and
# clang-tidy (.clang-tidy) finds no branch without braces. clang-tidy needs each file's
# compile command, so it reads the given builds' compile_commands.json and checks every
# project file they compile, headers included.
# Usage: scripts/lint.sh BUILD-DIR...   (e.g. build/default build/windows build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
[ $# -gt 0 ] || { echo "usage: scripts/lint.sh BUILD-DIR..." >&2; exit 2; }

mapfile -t SOURCES < <(git ls-files '*.cpp' '*.h')
echo "lint: clang-format on ${#SOURCES[@]} files"
clang-format-14 --dry-run --Werror "${SOURCES[@]}"

status=0
for BUILD in "$@"; do
  # Only the project's own files: generated ones (moc, resources) live in the build folder.
  mapfile -t UNITS < <(python3 - "$BUILD/compile_commands.json" "$ROOT" <<'PY'
import json, sys
root = sys.argv[2] + "/"
for f in sorted({e["file"] for e in json.load(open(sys.argv[1]))}):
    if f.startswith(root) and not f.startswith(root + "build/"):
        print(f)
PY
)
  # clang does not find the MinGW-w64 C++ headers by itself: name the target and the folders.
  EXTRA=()
  if grep -q mingw32 "$BUILD/compile_commands.json"; then
    CXX_HEADERS=$(ls -d /usr/lib/gcc/x86_64-w64-mingw32/*-posix/include/c++ | head -1)
    for arg in --target=x86_64-w64-mingw32 "-isystem$CXX_HEADERS" \
      "-isystem$CXX_HEADERS/x86_64-w64-mingw32" "-isystem$CXX_HEADERS/backward" \
      -isystem/usr/x86_64-w64-mingw32/include; do
      EXTRA+=(-extra-arg="$arg")
    done
  fi
  echo "lint: clang-tidy on ${#UNITS[@]} files of $BUILD"
  run-clang-tidy-14 -p "$BUILD" -quiet -j "${JOBS:-2}" "${EXTRA[@]}" \
    -header-filter="^$ROOT/(app|bench|controls|hosts|net|resources|tests)/" "${UNITS[@]}" \
    >"$BUILD/clang-tidy.log" 2>&1 || { grep -E "error:" "$BUILD/clang-tidy.log" | sort -u; status=1; }
done
exit $status
