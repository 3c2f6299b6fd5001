#!/usr/bin/env python3
"""clang-tidy over the project's own files of the given builds, each file once: with the
first build that compiles it. Run by scripts/lint.sh --tidy-only.

A file's verdict depends on the file, every project header it includes (clang-tidy reports
in those too), its compile command, the .clang-tidy configuration, the clang-tidy version
and the system's headers. A pass is kept under a hash of all of these in a cache that every
clone on the machine shares, so a file is checked again only when one of them changed. Only
passes are kept: a failure is checked again, and reported, every time. A missing or damaged
entry is a file to check.

VEXLO_TIDY_KEYS=<file> appends what each key is made of to that file: it tells why a file
was checked again.

Usage: tidy.py CACHE-FOLDER BUILD-DIR...     (JOBS: how many clang-tidy at once, default 2)
"""
import glob
import hashlib
import json
import os
import re
import shlex
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

TIDY = "clang-tidy-14"
ROOT = os.path.realpath(os.path.join(os.path.dirname(__file__), ".."))
# Where the project's own headers live: clang-tidy reports in these as well.
HEADER_FILTER = "^" + ROOT + "/(app|bench|controls|hosts|net|resources|system|tests)/"
# Folders of system headers that no compile command names: the compilers' own.
SYSTEM_INCLUDES = ["/usr/include", "/usr/local/include", "/usr/lib/gcc",
                   "/usr/lib/llvm-14/lib/clang", "/usr/x86_64-w64-mingw32/include"]
# An entry that nobody used for this long goes: a cache of passes, not an archive.
KEEP_DAYS = 30
INCLUDE = re.compile(rb'^[ \t]*#[ \t]*include[ \t]*([<"])([^>"]+)[>"]|'
                     rb'^[ \t]*#[ \t]*include[ \t]+([A-Za-z_][A-Za-z0-9_]*)', re.M)


def sha(data):
    return hashlib.sha256(data).hexdigest()


def inside(path, folder):
    return path == folder or path.startswith(folder + "/")


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def load_commands(build):
    """The project's files that the build compiles, each with its compile commands."""
    with open(os.path.join(build, "compile_commands.json")) as f:
        entries = json.load(f)
    units = {}
    for e in entries:
        path = os.path.realpath(os.path.join(e["directory"], e["file"]))
        if not path.startswith(ROOT + "/") or path.startswith(ROOT + "/build/"):
            continue
        if path.startswith(os.path.realpath(build) + "/"):
            continue  # generated: moc and resource files
        args = e.get("arguments") or shlex.split(e["command"])
        units.setdefault(path, []).append((e["directory"], args))
    return units


def search_dirs(args, directory):
    """The include folders a compile command names, and its -D macros that name a file."""
    dirs, macros = [], {}
    i = 0
    while i < len(args):
        a = args[i]
        for flag in ("-I", "-isystem", "-iquote", "-idirafter"):
            if a == flag and i + 1 < len(args):
                dirs.append(args[i + 1])
                i += 1
                break
            if a.startswith(flag) and len(a) > len(flag):
                dirs.append(a[len(flag):])
                break
        else:
            m = re.match(r'-D([A-Za-z_][A-Za-z0-9_]*)=["<](.*)[">]$', a)
            if m:
                macros[m.group(1)] = m.group(2)
        i += 1
    return [os.path.normpath(os.path.join(directory, d)) for d in dirs], macros


class Closure:
    """The project files a unit reads: the unit and, by following its includes, every header
    of the tree or the build folder that one of its include lines can name. It errs on the
    side of more: every folder where a name exists counts, and a computed include it cannot
    follow makes every project header count."""

    def __init__(self, build):
        self.build = os.path.realpath(build)
        self.includes = {}  # file -> its include lines

    def owned(self, path):
        return inside(path, ROOT) or inside(path, self.build)

    def lines(self, path):
        if path not in self.includes:
            self.includes[path] = INCLUDE.findall(read(path) or b"")
        return self.includes[path]

    def files(self, unit, args, directory):
        dirs, macros = search_dirs(args, directory)
        seen, todo, everything = set(), [unit], False
        while todo:
            path = todo.pop()
            if path in seen:
                continue
            seen.add(path)
            for quote, name, macro in self.lines(path):
                if macro:
                    if macro.decode() not in macros:
                        everything = True
                        continue
                    quote, name = b'"', macros[macro.decode()].encode()
                name = name.decode(errors="replace")
                where = ([os.path.dirname(path)] if quote == b'"' else []) + dirs
                for d in where:
                    candidate = os.path.realpath(os.path.join(d, name))
                    if self.owned(candidate) and os.path.isfile(candidate):
                        todo.append(candidate)
        if everything:
            for d, _, names in os.walk(ROOT):
                if d == ROOT + "/build" or d.startswith(ROOT + "/build/") or "/." in d:
                    continue
                seen.update(os.path.join(d, n) for n in names if n.endswith(".h"))
        return sorted(seen)


def configs(path):
    """Every .clang-tidy from the file's folder up to /: a nearer one may inherit."""
    found = []
    d = os.path.dirname(path)
    while True:
        data = read(os.path.join(d, ".clang-tidy"))
        if data is not None:
            found.append(d + ":" + sha(data))
        if d == "/":
            return found
        d = os.path.dirname(d)


def system_headers(units, builds):
    """A listing of every system header a unit may read: name, size and time. A package
    that is installed, upgraded or removed changes it."""
    ours = [ROOT] + [os.path.realpath(b) for b in builds]
    roots = set(SYSTEM_INCLUDES)
    for commands in units.values():
        for directory, args in commands:
            for d in search_dirs(args, directory)[0]:
                d = os.path.realpath(d)
                if not any(inside(d, o) for o in ours):
                    roots.add(d)
    h = hashlib.sha256()
    for r in sorted(roots):
        if any(r != o and inside(r, o) for o in roots):
            continue
        for d, subdirs, names in os.walk(r):
            subdirs.sort()
            for n in sorted(names):
                try:
                    st = os.stat(os.path.join(d, n))
                except OSError:
                    continue
                h.update(f"{d}/{n} {st.st_size} {st.st_mtime_ns}\n".encode())
    return h.hexdigest()


def normal(text, build):
    return text.replace(os.path.realpath(build), "<build>").replace(ROOT, "<root>")


def key(unit, commands, build, closure, common):
    parts = [common, normal(unit, build)]
    for directory, args in sorted(commands):
        parts.append(normal(directory + "\0" + "\0".join(args), build))
        for f in closure.files(unit, args, directory):
            parts.append(normal(f, build) + " " + sha(read(f) or b"<gone>"))
    parts += [normal(c, build) for c in configs(unit)]
    if os.environ.get("VEXLO_TIDY_KEYS"):
        with open(os.environ["VEXLO_TIDY_KEYS"], "a") as f:
            f.write(repr((unit, parts)) + "\n")
    return sha("\n".join(parts).encode())


class Verdicts:
    """Passes, one small file each, named by the key and holding it."""

    def __init__(self, folder):
        self.folder = folder
        self.complained = False

    def path(self, k):
        return os.path.join(self.folder, k[:2], k)

    def passed(self, k):
        p = self.path(k)
        if read(p) != f"pass {k}\n".encode():
            return False
        try:
            os.utime(p)  # in use: kept
        except OSError:
            pass
        return True

    def store(self, k):
        try:
            os.makedirs(os.path.dirname(self.path(k)), exist_ok=True)
            fd, tmp = tempfile.mkstemp(dir=os.path.dirname(self.path(k)), prefix=".tmp-")
            with os.fdopen(fd, "w") as f:
                f.write(f"pass {k}\n")
            os.replace(tmp, self.path(k))
        except OSError as e:  # only time lost
            if not self.complained:
                print(f"lint: cannot keep verdicts in {self.folder}: {e}", file=sys.stderr)
                self.complained = True

    def prune(self):
        limit = time.time() - KEEP_DAYS * 86400
        for d in glob.glob(os.path.join(self.folder, "??")):
            for e in os.scandir(d):
                try:
                    if e.stat().st_mtime < limit:
                        os.remove(e.path)
                except OSError:
                    pass


def tidy_args(build, commands):
    """clang does not find the MinGW-w64 C++ headers by itself: name the target and the
    folders."""
    extra = []
    if any("mingw32" in a for cmds in commands.values() for _, args in cmds for a in args[:1]):
        cxx = sorted(glob.glob("/usr/lib/gcc/x86_64-w64-mingw32/*-posix/include/c++"))[0]
        for a in ("--target=x86_64-w64-mingw32", "-isystem" + cxx,
                  "-isystem" + cxx + "/x86_64-w64-mingw32", "-isystem" + cxx + "/backward",
                  "-isystem/usr/x86_64-w64-mingw32/include"):
            extra.append("-extra-arg=" + a)
    return [TIDY, "-p", build, "--quiet", "-header-filter=" + HEADER_FILTER] + extra


def main():
    if len(sys.argv) < 3:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    verdicts = Verdicts(sys.argv[1])
    builds = sys.argv[2:]
    jobs = int(os.environ.get("JOBS", "2"))
    version = subprocess.run([TIDY, "--version"], capture_output=True, text=True).stdout

    shares, seen = [], set()
    for build in builds:
        units = {u: c for u, c in load_commands(build).items() if u not in seen}
        seen.update(units)
        shares.append((build, units))
    system = system_headers({u: c for _, units in shares for u, c in units.items()}, builds)

    status = 0
    for build, units in shares:
        argv = tidy_args(build, units)
        common = "\n".join(["vexlo-tidy 1", version, normal(" ".join(argv), build), system])
        closure = Closure(build)
        todo = []
        for unit in sorted(units):
            k = key(unit, units[unit], build, closure, common)
            if not verdicts.passed(k):
                todo.append((unit, k))
        print(f"lint: clang-tidy on {len(units)} files of {build}: "
              f"{len(units) - len(todo)} unchanged since they passed, {len(todo)} to check",
              flush=True)

        def check(item):
            unit, k = item
            run = subprocess.run(argv + [unit], capture_output=True, text=True)
            return unit, k, run.returncode, run.stdout + run.stderr

        failed = []
        log = []
        with ThreadPoolExecutor(max_workers=jobs) as pool:
            for unit, k, rc, output in pool.map(check, todo):
                log.append(f"== {unit} (exit {rc})\n{output}")
                if rc != 0:
                    failed.append(output)
                    continue
                # Kept only if nothing it read changed while it ran: a build may be writing
                # its generated headers meanwhile, or someone editing.
                if key(unit, units[unit], build, Closure(build), common) == k:
                    verdicts.store(k)
        with open(os.path.join(build, "clang-tidy.log"), "w") as f:
            f.write("".join(log))
        if failed:
            status = 1
            errors = sorted({line for out in failed for line in out.splitlines()
                             if "error:" in line})
            print("\n".join(errors) if errors else "\n".join(failed))
    verdicts.prune()
    return status


if __name__ == "__main__":
    sys.exit(main())
