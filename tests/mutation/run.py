#!/usr/bin/env python3
"""Fault injection: how many small changes to the engine does the test suite notice?

Applies one textual mutation at a time to engine/, tree/, links/ and cli/ (a
flipped comparison, a constant off by one, a negated condition, a deleted
statement, && for || ...), rebuilds the test program and the tool
incrementally, runs the tests and the tool's cases (tests/cli/cases.txt and
url-cases.txt) with a time limit and restores the file. A mutant is killed when the tests fail or time
out, unviable when it does not build. The sample is drawn with a fixed seed,
so two runs over the same product code try the same mutants.

    tests/mutation/run.py [--source DIR] [--build DIR] [--sample N] [--seed S]
                          [--suite TARGET=PATH ...]

--suite names a test program (its CMake target and its path below the build
directory); several suites are each run against every mutant, which is how
two versions of the tests are compared on the same mutants in one pass. The
tool's cases run after each suite and count as part of it.

Run it on a copy of the checkout (it edits the product files in place and
restores each one, but an interrupted run leaves the last mutant behind).
"""
import argparse
import os
import random
import re
import signal
import subprocess
import sys
import time

FOLDERS = ("engine", "tree", "links", "cli")
SWAPS = [("==", "!="), ("!=", "=="), ("<=", "<"), (">=", ">"), ("<", "<="), (">", ">="),
         ("&&", "||"), ("||", "&&")]
BINARY = re.compile(r"(?<= )(==|!=|<=|>=|&&|\|\||<|>)(?= )")
NUMBER = re.compile(r"(?<![\w.])(\d+)(?![\w.])")
WORDS = [("true", "false"), ("false", "true"), ("++", "--"), ("--", "++"), (" + 1", " - 1"), (" - 1", " + 1")]
SKIP = re.compile(r"^\s*(#|//|\*|/\*)")


def matching_paren(line, start):
    depth = 0
    for i in range(start, len(line)):
        if line[i] == "(":
            depth += 1
        elif line[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


def mutants_of(path, lines):
    """Every (path, line index, description, new line) for one file."""
    out = []
    for n, line in enumerate(lines):
        if SKIP.match(line) or not line.strip():
            continue
        code = line.split("//")[0]
        for m in BINARY.finditer(code):
            for old, new in SWAPS:
                if m.group(1) == old:
                    out.append((path, n, f"{old} -> {new}", line[:m.start()] + new + line[m.end():]))
        for m in NUMBER.finditer(code):
            value = int(m.group(1))
            for delta in (1, -1):
                if value + delta >= 0:
                    out.append((path, n, f"{value} -> {value + delta}",
                                line[:m.start()] + str(value + delta) + line[m.end():]))
        for old, new in WORDS:
            at = code.find(old)
            if at >= 0 and (old not in ("true", "false") or re.search(r"\b" + old + r"\b", code)):
                out.append((path, n, f"{old.strip()} -> {new.strip()}", line[:at] + new + line[at + len(old):]))
        for m in re.finditer(r"\b(if|while) \(", code):
            open_at = m.end() - 1
            close_at = matching_paren(code, open_at)
            if close_at > 0:
                cond = code[open_at + 1:close_at]
                out.append((path, n, f"negate {m.group(1)}",
                            line[:open_at + 1] + "!(" + cond + ")" + line[close_at:]))
        stripped = code.strip()
        if (stripped.endswith(";") and not stripped.startswith(("return", "}", "break", "case", "default"))
                and "(" in stripped and not re.match(r"^[\w:<>,\s*&]+\s+\w+\s*[({=]", stripped)):
            out.append((path, n, "delete statement", re.sub(r"\S.*", "", line) + ";\n"))
    return out


def run(cmd, timeout, cwd):
    # In a session of its own, so that a time-out ends the whole group: a
    # mutant that loops forever in a tool started by a case script would
    # otherwise outlive the script and go on taking a core.
    with subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          start_new_session=True) as process:
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            return "timeout"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--source", default=".")
    ap.add_argument("--build", default="build-mutation")
    ap.add_argument("--sample", type=int, default=80)
    ap.add_argument("--seed", type=int, default=20261206)
    ap.add_argument("--test-timeout", type=int, default=120)
    ap.add_argument("--jobs", default="2")
    ap.add_argument("--cpp-only", action="store_true", help="leave the headers alone (cheaper rebuilds)")
    ap.add_argument("--suite", action="append", default=[],
                    help="TARGET=PATH below the build directory (default kivoparse_tests=tests/kivoparse_tests)")
    args = ap.parse_args()
    src = os.path.abspath(args.source)
    build = os.path.join(src, args.build)
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", src, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DKIVOPARSE_LTO=OFF"],
                       check=True, stdout=subprocess.DEVNULL)
    suites = [item.split("=", 1) for item in args.suite or ["kivoparse_tests=tests/kivoparse_tests"]]
    building = ["cmake", "--build", build, "-j", args.jobs, "--target", "kivoparse_cli"] + [t for t, _ in suites]
    # The tool's two case files: the five commands, and urls, check and fix --map.
    cases = [["bash", os.path.join(src, "tests/cli/run_cases.sh"), os.path.join(build, "cli/kivoparse"),
              os.path.join(src, "tests/cli", name)] for name in ("cases.txt", "url-cases.txt")]

    def passes(command):  # 0, "timeout" or the first failing status
        status = run(command, args.test_timeout, src)
        for case_file in cases:
            if status == 0:
                status = run(case_file, args.test_timeout, src)
        return status

    testing = {target: [os.path.join(build, path), "--gtest_fail_fast", "--gtest_brief=1"] for target, path in suites}
    if run(building, 900, src) != 0 or any(passes(t) != 0 for t in testing.values()):
        sys.exit("the unmutated build or its tests fail")

    candidates = []
    for folder in FOLDERS:
        for name in sorted(os.listdir(os.path.join(src, folder))):
            if name.endswith(".cpp" if args.cpp_only else (".cpp", ".h")):
                path = os.path.join(folder, name)
                with open(os.path.join(src, path), encoding="latin-1") as f:
                    candidates += mutants_of(path, f.readlines())
    sample = random.Random(args.seed).sample(candidates, min(args.sample, len(candidates)))
    print(f"{len(candidates)} mutants possible, trying {len(sample)} (seed {args.seed})", flush=True)

    counts = {target: {"killed": 0, "timeout": 0, "SURVIVED": 0} for target in testing}
    unviable = 0
    for i, (path, n, what, new_line) in enumerate(sample, 1):
        full = os.path.join(src, path)
        with open(full, encoding="latin-1") as f:
            original = f.read()
        lines = original.splitlines(keepends=True)
        lines[n] = new_line
        start = time.time()
        verdicts = []
        try:
            with open(full, "w", encoding="latin-1") as f:
                f.write("".join(lines))
            if run(building, 900, src) != 0:
                unviable += 1
                verdicts.append("unviable")
            else:
                for target, command in testing.items():
                    status = passes(command)
                    verdict = "timeout" if status == "timeout" else "SURVIVED" if status == 0 else "killed"
                    counts[target][verdict] += 1
                    verdicts.append(f"{target}: {verdict}")
        finally:
            with open(full, "w", encoding="latin-1") as f:
                f.write(original)
        print(f"[{i}/{len(sample)}] {path}:{n + 1} {what} ({time.time() - start:.0f}s): {', '.join(verdicts)}",
              flush=True)
        if any("SURVIVED" in v for v in verdicts):
            print(f"    {new_line.strip()}", flush=True)
    for target, c in counts.items():
        viable = sum(c.values())
        print(f"{target}: killed {c['killed'] + c['timeout']} of {viable} viable mutants "
              f"({100.0 * (c['killed'] + c['timeout']) / max(viable, 1):.0f}%; {c['timeout']} by a time-out), "
              f"{unviable} did not build", flush=True)
    run(building, 900, src)  # leave the build matching the restored sources


if __name__ == "__main__":
    main()
