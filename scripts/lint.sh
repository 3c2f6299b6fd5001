#!/usr/bin/env bash
# The house style of the project's own sources: clang-format finds no line to change, and
# clang-tidy (.clang-tidy) finds no branch without braces. clang-tidy needs each file's
# compile command, so it reads the given builds' compile_commands.json and checks every
# project file they compile, headers included, each file once: with the first build that
# compiles it (so list the build with the most files first), and only when something it
# depends on changed since it last passed.
# Usage: scripts/lint.sh [--tidy-only] [BUILD-DIR...]   (e.g. build/default build/windows
# build/fuzz). Without a build only clang-format runs: it needs no build and takes seconds,
# so scripts/test.sh runs it first and clang-tidy (--tidy-only) once the builds are there.
set -euo pipefail
cd "$(dirname "$0")/.."
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

# The verdicts are kept in the cache that every clone on the machine shares: a file is
# checked again only when it, a header it includes, its compile command, the configuration
# or the tools changed (scripts/tidy.py).
CACHE=${VEXLO_CACHE:-${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/vexlo}
exec python3 scripts/tidy.py "$CACHE/clang-tidy" "$@"
