#!/usr/bin/env python3
"""Plants single-line faults in model/, files/ and screens/, one at a time, and reports how
many the tests catch.

Each fault is one small change on one line, the kind a slip of the hand makes:
a comparison flipped, a constant off by one, a statement dropped, a condition
turned round, && and || swapped, true and false swapped. The file is changed in
place, the build dir rebuilt (only what the change touches), the whole test
suite run; then the file is put back, whatever happens. A fault that does not
compile is not counted; another place is drawn instead.

Some changes are no fault at all: the optimising compiler turns the changed
file into the very same machine code (a store overwritten before it is read,
a bit shifted out, a test it can prove always true). Before building, the
changed file is compiled alone with the build's own command and compared with
the unchanged file's code; when they are equal the change is reported as
"same code" and another place is drawn, since no test can tell them apart.
Lines that only reserve memory ahead are not changed either: that touches
speed, which the benchmarks measure, not behaviour.

Usage: scripts/mutate.py [--sample N] [--seed S] [--build DIR] [--log FILE]
"""
import argparse
import json
import os
import shlex
import random
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FOLDERS = ["model", "files", "screens"]

COMPARISONS = [("==", "!="), ("!=", "=="), ("<=", ">"), (">=", "<"), (" < ", " >= "),
               (" > ", " <= ")]


def candidates(line):
    """Every fault this line can take, as (kind, new line)."""
    code = line.split("//")[0]
    stripped = code.strip()
    if re.search(r"\.(reserve|shrink_to_fit)\(", code):
        return []  # only speed
    if not stripped or stripped.startswith(("#", "*", "/*", "namespace", "using", "template",
                                            "static_assert", "case ", "default:")):
        return []
    faults = []
    for old, new in COMPARISONS:
        # Comparisons only: not inside #include <...>, templates or -> and <<.
        for match in re.finditer(re.escape(old), code):
            at = match.start()
            if old.strip() in ("<", ">") and ("<<" in code[at - 1:at + 3] or
                                              ">>" in code[at - 1:at + 3] or
                                              "->" in code[at - 1:at + 3]):
                continue
            faults.append(("comparison", line[:at] + new + line[at + len(old):]))
    for match in re.finditer(r"(?<![\w.])(\d+)(?![\w.'])", code):
        number = int(match.group(1))
        for changed in (number + 1, number - 1):
            if changed >= 0:
                faults.append(("constant", line[:match.start()] + str(changed) +
                               line[match.end():]))
    for old, new in (("&&", "||"), ("||", "&&")):
        for match in re.finditer(re.escape(old), code):
            faults.append(("logic", line[:match.start()] + new + line[match.end():]))
    for old, new in (("true", "false"), ("false", "true")):
        for match in re.finditer(r"\b%s\b" % old, code):
            faults.append(("boolean", line[:match.start()] + new + line[match.end():]))
    condition = re.match(r"^(\s*(?:\}\s*else\s+)?(?:if|while) \()(.*)(\)\s*\{?\s*)$", code.rstrip())
    if condition and condition.group(2).count("(") == condition.group(2).count(")"):
        faults.append(("branch", condition.group(1) + "!(" + condition.group(2) + ")" +
                       condition.group(3) + "\n"))
    # A whole statement on one line, not a declaration-looking one with braces.
    if (stripped.endswith(";") and not stripped.startswith(("return", "break", "continue",
                                                            "}", "{")) and
            "{" not in stripped and stripped.count("(") == stripped.count(")")):
        faults.append(("statement", ""))
    return faults


def all_places(only=None):
    places = []
    for folder in FOLDERS:
        for name in sorted(os.listdir(os.path.join(ROOT, folder))):
            if name.endswith(".cpp"):
                path = os.path.join(folder, name)
                if only and path not in only:
                    continue
                with open(os.path.join(ROOT, path), encoding="utf-8") as source:
                    for number, line in enumerate(source, 1):
                        for kind, new in candidates(line):
                            places.append((path, number, kind, new))
    return places


class ObjectCode:
    """The machine code one source file compiles to, by the build's own command
    (compile_commands.json) without debug information, which would record
    nothing but positions."""

    def __init__(self, build):
        self.entries = {}
        self.originals = {}
        database = os.path.join(build, "compile_commands.json")
        if os.path.exists(database):
            with open(database) as source:
                for entry in json.load(source):
                    self.entries.setdefault(os.path.realpath(entry["file"]), entry)
        self.scratch = os.path.join(build, "mutate-scratch.o")

    def compile(self, full):
        """The object file's bytes, or None when the file does not compile (or
        the build does not know it)."""
        entry = self.entries.get(os.path.realpath(full))
        if entry is None:
            return None
        words = entry.get("arguments") or shlex.split(entry["command"])
        if "-o" in words:
            at = words.index("-o")
            words = words[:at] + words[at + 2:]
        words = words + ["-g0", "-o", self.scratch]
        done = subprocess.run(words, cwd=entry["directory"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
        if done.returncode != 0:
            return None
        with open(self.scratch, "rb") as source:
            return source.read()

    def unchanged(self, full):
        if full not in self.originals:
            self.originals[full] = self.compile(full)
        return self.originals[full]


def run(command, timeout):
    """The finished command, or None when it ran over `timeout` seconds: then
    it is ended with everything it started (a fault may make a test loop)."""
    process = subprocess.Popen(command, cwd=ROOT, shell=True, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True, errors="replace",
                               start_new_session=True)
    try:
        output, _ = process.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        return None
    return subprocess.CompletedProcess(command, process.returncode, output)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sample", type=int, default=60)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    parser.add_argument("--build", default="build")
    parser.add_argument("--log", default=None)
    parser.add_argument("--files", nargs="+", default=None,
                        help="plant faults only in these files (paths as model/X.cpp)")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--test-timeout", type=int, default=300,
                        help="seconds after which a test run counts as caught (looping)")
    args = parser.parse_args()
    build = os.path.join(ROOT, args.build)
    if not os.path.isdir(build):
        sys.exit("mutate: build dir %s not found; build the project first" % build)
    log = open(args.log or os.path.join(build, "mutate.log"), "w")

    def say(text):
        print(text, flush=True)
        log.write(text + "\n")
        log.flush()

    say("seed %d, sample %d" % (args.seed, args.sample))
    if run("cmake --build %s -j%d" % (build, args.jobs), 1800).returncode != 0:
        sys.exit("mutate: the project does not build as it is")
    baseline = run("cd %s && ctest -j%d" % (build, args.jobs), 1800)
    if baseline is None or baseline.returncode != 0:
        sys.exit("mutate: the tests fail without any fault planted")

    places = all_places(args.files)
    random.Random(args.seed).shuffle(places)
    caught, survived = 0, []
    planted, same = 0, 0
    objects = ObjectCode(build)
    if not objects.entries:
        say("(no compile_commands.json: configure with -DCMAKE_EXPORT_COMPILE_COMMANDS=ON "
            "to skip changes that compile to the same code)")
    for path, number, kind, new in places:
        if planted == args.sample:
            break
        full = os.path.join(ROOT, path)
        with open(full, encoding="utf-8") as source:
            original = source.read()
        lines = original.splitlines(keepends=True)
        old = lines[number - 1]
        if new == "" and kind == "statement":
            new = "\n"
        lines[number - 1] = new if new.endswith("\n") else new + "\n"
        where = "%s:%d %s: %s -> %s" % (path, number, kind, old.strip(),
                                       lines[number - 1].strip() or "(dropped)")
        reference = objects.unchanged(full)
        stamp = os.stat(full)
        rebuilt = False
        try:
            with open(full, "w", encoding="utf-8") as target:
                target.write("".join(lines))
            if reference is not None:
                changed = objects.compile(full)
                if changed is None:
                    continue  # does not compile
                if changed == reference:
                    same += 1
                    say("same     %s" % where)
                    continue
            rebuilt = True
            built = run("cmake --build %s -j%d" % (build, args.jobs), 1800)
            if built is None or built.returncode != 0:
                continue  # does not compile: not a fault the tests have to find
            planted += 1
            # The whole suite takes seconds; far longer means a test loops.
            tested = run("cd %s && ctest -j%d --stop-on-failure" % (build, args.jobs),
                         args.test_timeout)
            if tested is None or tested.returncode != 0:
                caught += 1
                failed = [name for name, status in
                          re.findall(r"\d+ - (\S+) \(([^)]*)\)", tested.stdout if tested else "")
                          if status not in ("Skipped", "Not Run", "Disabled")]
                say("caught   %s  [%s]" % (where, failed[0] if failed else "timeout"))
            else:
                survived.append(where)
                say("SURVIVED %s" % where)
        finally:
            with open(full, "w", encoding="utf-8") as target:
                target.write(original)
            if not rebuilt:
                # Never built changed: keep the old time, so nothing rebuilds.
                os.utime(full, ns=(stamp.st_atime_ns, stamp.st_mtime_ns))
            else:
                os.utime(full)
    run("cmake --build %s -j%d" % (build, args.jobs), 1800)
    say("planted %d, caught %d (%.0f %%), survived %d; %d more changes gave the same code" %
        (planted, caught, 100.0 * caught / max(planted, 1), len(survived), same))
    return 0


if __name__ == "__main__":
    sys.exit(main())
