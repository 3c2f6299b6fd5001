#!/usr/bin/env bash
# The house style of the project's own sources: clang-format finds no line to change, and
# clang-tidy (.clang-tidy) finds no branch without braces. clang-tidy needs each file's
# compile command, so it reads the given builds' compile_commands.json and checks every
# project file they compile, headers included, each file once: with the first build that
# compiles it (so list the build with the most files first).
# Usage: scripts/lint.sh [--tidy-only] [BUILD-DIR...]   (e.g. build/default build/windows
# build/fuzz). Without a build only clang-format runs: it needs no build and takes seconds,
# so scripts/test.sh runs it first and clang-tidy (--tidy-only) once the builds are there.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
FORMAT=1
if [ "${1:-}" = --tidy-only ]; then
  FORMAT=0
  shift
  [ $# -gt 0 ] || { echo "usage: scripts/lint.sh [--tidy-only] [BUILD-DIR...]" >&2; exit 2; }
fi

if [ $FORMAT = 1 ]; then
  mapfile -t SOURCES < <(git ls-files '*.cpp' '*.h')
  echo "lint: clang-format on ${#SOURCES[@]} files"
  clang-format-14 --dry-run --Werror "${SOURCES[@]}"
fi
[ $# -gt 0 ] || exit 0

# Each build's share: the project's own files (generated ones, moc and resources, live in
# the build folder) that no build named before it compiles.
mapfile -t SHARES < <(python3 - "$ROOT" "$@" <<'PY'
import json, sys
root = sys.argv[1] + "/"
seen = set()
for build in sys.argv[2:]:
    files = sorted({e["file"] for e in json.load(open(build + "/compile_commands.json"))
                    if e["file"].startswith(root) and not e["file"].startswith(root + "build/")}
                   - seen)
    seen.update(files)
    print(" ".join(files))
PY
)

status=0
index=0
for BUILD in "$@"; do
  read -r -a UNITS <<<"${SHARES[$index]}"
  index=$((index + 1))
  echo "lint: clang-tidy on ${#UNITS[@]} files of $BUILD"
  [ ${#UNITS[@]} -gt 0 ] || continue
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
  run-clang-tidy-14 -p "$BUILD" -quiet -j "${JOBS:-2}" "${EXTRA[@]}" \
    -header-filter="^$ROOT/(app|bench|controls|hosts|net|resources|system|tests)/" "${UNITS[@]}" \
    >"$BUILD/clang-tidy.log" 2>&1 || { grep -E "error:" "$BUILD/clang-tidy.log" | sort -u; status=1; }
done
exit $status
