#!/usr/bin/env python3
"""Plants the faults listed in tests/mutants.txt, one at a time, in a scratch
copy of the source tree, and reports which ones the test suite misses.

usage: tools/mutate.py [--mutants FILE] [--only TEXT] [TREE]

TREE is the source tree to copy, by default the one this script is in; its
files are taken as they are, committed or not, without build/ and .git/.
FILE defaults to TREE/tests/mutants.txt. Each fault there is a block:

    # what the fault is
    @ path/in/tree.cpp
    - exact text that occurs once in that file
    + the text that replaces it
    $ .ci/check    (optional)

'-' and '+' lines may repeat for a fault of several lines. A fault that
only a check beyond the tests can catch (a package's contents) names it in
a '$' line: that command, run in the copy, must fail instead of ctest; it
builds what it needs, and asks git about the tree's last commit. A fault in a
file that only the Windows build compiles (a name with _win32, or a .rc.in)
is tried in the windows preset, under Wine; any other in the test preset.
The unchanged copy is built with each preset it needs and must pass its
tests first. Then, for each fault, the copy is rebuilt and ctest runs; a
failing run catches the fault. A fault whose text is no longer found is
reported as MISSING, so the list must keep in step with the code. The exit
status is 0 only when every fault is caught, found and compiles; it is 2,
before anything is built, when --only matches no fault. Scratch files,
those of the tests included, go to $TMPDIR.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time


def parse(path):
    mutants, current = [], None
    for raw in open(path, encoding="utf-8"):
        line = raw.rstrip("\n")
        if line.startswith("# "):
            current = {"what": line[2:], "file": None, "old": [], "new": [], "check": None}
            mutants.append(current)
        elif current is None or not line.strip():
            continue
        elif line.startswith("@ "):
            current["file"] = line[2:].strip()
        elif line.startswith("- ") or line == "-":
            current["old"].append(line[2:])
        elif line.startswith("+ ") or line == "+":
            current["new"].append(line[2:])
        elif line.startswith("$ "):
            current["check"] = line[2:]
    return [m for m in mutants if m["file"] and m["old"]]


def run(command, cwd, timeout=900, env=None):
    try:
        done = subprocess.run(command, cwd=cwd, shell=True, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, errors="replace",
                              timeout=timeout, env=env)
        return done.returncode, done.stdout
    except subprocess.TimeoutExpired:
        return 124, "timed out"


def main():
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description="Plant listed faults and run the tests on each.")
    parser.add_argument("tree", nargs="?", default=top, help="source tree (default: %(default)s)")
    parser.add_argument("--mutants", help="list of faults (default: TREE/tests/mutants.txt)")
    parser.add_argument("--only", help="plant only the faults whose description holds TEXT")
    args = parser.parse_args()
    mutants = parse(args.mutants or os.path.join(args.tree, "tests", "mutants.txt"))

    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
    mutants = [m for m in mutants if not args.only or args.only in m["what"]]
    if not mutants:
        # Nothing planted proves nothing: a mistyped --only must not pass.
        print(f"no fault's description holds '{args.only}'" if args.only else "no fault is listed",
              file=sys.stderr)
        return 2
    for m in mutants:
        m["preset"] = "windows" if re.search(r"_win32\.|\.rc\.in$", m["file"]) else "test"
        if m["check"]:
            m["preset"] = None
    # The copy has no .git of its own: a check reads the tree's.
    git = subprocess.run(["git", "-C", args.tree, "rev-parse", "--absolute-git-dir"],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    check_env = dict(os.environ, GIT_DIR=git.stdout.strip()) if git.returncode == 0 else None

    def build(preset):
        return f"cmake --build build/{preset} -j{jobs}"

    def test(preset):
        return f"ctest --test-dir build/{preset} --timeout 300 -j{jobs} --stop-on-failure"

    work = tempfile.mkdtemp(prefix="mutate-")
    copy = os.path.join(work, "src")
    try:
        shutil.copytree(args.tree, copy, symlinks=True,
                        ignore=lambda folder, names: [n for n in names if n in (".git", "build")]
                        if os.path.samefile(folder, args.tree) else [])
        baseline = [(command, None) for preset in sorted({m["preset"] for m in mutants} - {None})
                    for command in (f"cmake --preset {preset}", build(preset), test(preset))]
        baseline += [(check, check_env) for check in sorted({m["check"] for m in mutants} - {None})]
        for command, env in baseline:
            status, output = run(command, copy, env=env)
            if status:
                print(f"the tree fails '{command}' before any fault is planted:\n"
                      f"{output[-1500:]}")
                return 2
        caught = planted = missing = stillborn = 0
        for m in mutants:
            path = os.path.join(copy, m["file"])
            old, new = "\n".join(m["old"]), "\n".join(m["new"])
            text = open(path, encoding="utf-8").read() if os.path.exists(path) else ""
            if text.count(old) != 1:
                print(f"MISSING   {m['what']} ({m['file']})", flush=True)
                missing += 1
                continue
            open(path, "w", encoding="utf-8").write(text.replace(old, new))
            try:
                if m["preset"] and run(build(m["preset"]), copy)[0]:
                    print(f"STILLBORN {m['what']} (does not compile)", flush=True)
                    stillborn += 1
                    continue
                planted += 1
                started = time.time()
                if m["preset"]:
                    status, _ = run(test(m["preset"]), copy)
                else:
                    status, _ = run(m["check"], copy, env=check_env)
                caught += bool(status)
                word = "caught   " if status else "MISSED   "
                print(f"{word} {m['what']} ({time.time() - started:.0f} s)", flush=True)
            finally:
                open(path, "w", encoding="utf-8").write(text)
        print(f"caught {caught} of {planted} ({missing} missing, {stillborn} not compiling)")
        return 0 if caught == planted and not missing and not stillborn else 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
