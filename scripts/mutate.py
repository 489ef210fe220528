#!/usr/bin/env python3
"""Mutation testing of the program's own code: `make mutate`.

A mutant is the program with one small change on one line, of the kind a
developer could plausibly make: a comparison swapped or negated, + and -
or && and || swapped, an integer literal off by one, break and continue
swapped, a call statement or an early return removed, a returned value
replaced. Each sampled mutant is built and the tests labelled with the
folders that exercise its folder are run; a failing test kills it.

Everything happens on a copy of the working tree in build-mutate/src, so
the working tree is never touched; the copy is put back after every mutant,
Ctrl-C included, so that the next run builds incrementally.

Environment:
  MUTATE_SAMPLE   mutants sampled per folder (default 25; 0 takes them all)
  MUTATE_FOLDERS  folders to mutate (default: all the program's folders)
  MUTATE_SEED     seed of the sample (default 1): the same seed picks the same
                  mutants, and a change to one line moves only its own
  MUTATE_TIMEOUT  seconds one test may run before its mutant counts as
                  killed by a hang (default 60)
  JOBS            parallel build jobs (default 2)

Equivalent mutants (no behaviour can tell them from the program) are listed
in tests/mutation-equivalents.txt and left out of the score.
"""

import difflib
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass, field

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(ROOT, "build-mutate")
SRC = os.path.join(WORK, "src")
BUILD = os.path.join(WORK, "build")
SURVIVORS = os.path.join(WORK, "survivors")
EQUIVALENTS = os.path.join(ROOT, "tests", "mutation-equivalents.txt")

FOLDERS = ["common", "diagnostics", "console", "serial", "config", "rules", "angles", "transfer"]

# The tests that exercise each folder, by CTest label (the folder under
# tests/ that a test lives in): its own, and those of the folders above it
# that reach it through their own code. Every test that runs the program
# (label "transcript") goes through the console.
TEST_LABELS = {
    "common": ["common", "config", "rules", "console"],
    "diagnostics": ["diagnostics", "serial"],
    "console": ["console", "transcript"],
    "serial": ["serial", "windows"],
    "config": ["config"],
    "rules": ["rules"],
    "angles": ["angles", "config", "rules"],
    "transfer": ["transfer"],
}


@dataclass
class Mutant:
    path: str          # relative to the tree, e.g. "transfer/inhex.cpp"
    line_no: int       # from 1
    original: str      # the line as written, without its line end
    mutated: str
    what: str          # e.g. "< to <= (1)": the change and its occurrence on the line
    folder: str = ""
    outcome: str = ""
    detail: str = ""
    repeat: int = 1    # the line's text is the repeat-th line of its file with that text

    def line_text(self):
        """The line as tests/mutation-equivalents.txt names it: its text, and
        " [n]" for the n-th line of the file with the same text."""
        text = self.original.strip()
        return text if self.repeat == 1 else f"{text} [{self.repeat}]"

    def key(self):
        return (self.path, self.line_text(), self.what)


# --- finding mutants -------------------------------------------------------

def mask_line(line, in_block_comment):
    """The line with comments, string and character literals blanked out
    (same length, so positions match), and whether a block comment is still
    open at its end."""
    out = []
    i = 0
    n = len(line)
    while i < n:
        if in_block_comment:
            end = line.find("*/", i)
            if end < 0:
                out.append(" " * (n - i))
                i = n
            else:
                out.append(" " * (end + 2 - i))
                i = end + 2
                in_block_comment = False
            continue
        c = line[i]
        if line.startswith("//", i):
            out.append(" " * (n - i))
            break
        if line.startswith("/*", i):
            in_block_comment = True
            out.append("  ")
            i += 2
            continue
        if c in "\"'":
            # A digit separator (1'000) is not a character literal; the
            # program uses none, so any quote opens a literal.
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(c + " " * (j - i - 2) + (c if j - i >= 2 else ""))
            i = j
            continue
        out.append(c)
        i += 1
    return "".join(out)[:n], in_block_comment


RELATIONAL = {
    "<": ["<=", ">="],
    "<=": ["<", ">"],
    ">": [">=", "<="],
    ">=": [">", "<"],
    "==": ["!="],
    "!=": ["=="],
}
SWAPS = {"+": "-", "-": "+", "+=": "-=", "-=": "+=", "++": "--", "--": "++", "&&": "||", "||": "&&"}
# Binary operators are written with a blank on each side; this keeps template
# brackets, shifts, arrows and unary minus out.
SPACED_OP = re.compile(r"(?<= )(<=|>=|==|!=|<|>|\+|-|\+=|-=|&&|\|\|)(?= )")
INCREMENT = re.compile(r"\+\+|--")
LITERAL = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F]+|[0-9]+)([uUlLzZ]*)(?![\w.'])")
TEMPLATE_ARGUMENTS = re.compile(r"\w<([^<>;()]*)>")
JUMP = re.compile(r"\b(break|continue)\s*;")
CALL_STATEMENT = re.compile(r"^[A-Za-z_]\w*(?:(?:::|\.|->)[A-Za-z_]\w*)*\s*\(.*\)\s*;$")
NOT_CALLS = {"return", "if", "while", "for", "switch", "sizeof", "static_assert", "delete",
             "throw", "case", "do", "else"}
RETURN = re.compile(r"\breturn\b(.*);\s*$")
GUARDS = re.compile(r"^(if|else|\} else|for|while|case|default)\b")


def balanced(text):
    return text.count("(") == text.count(")")


def occurrence_name(counts, token):
    counts[token] = counts.get(token, 0) + 1
    return counts[token]


def line_mutants(path, line_no, line, masked, guarded_block):
    """Every mutant of one line; `guarded_block` says the line lies directly
    in the block of an if, else, loop or case."""
    found = []

    def add(start, end, replacement, what):
        mutated = line[:start] + replacement + line[end:]
        if mutated != line:
            found.append(Mutant(path, line_no, line, mutated, what))

    stripped = masked.strip()
    if not stripped or stripped.startswith("#") or "static_assert" in stripped:
        return found

    counts = {}
    for m in SPACED_OP.finditer(masked):
        op = m.group(1)
        k = occurrence_name(counts, op)
        for replacement in RELATIONAL.get(op, []) + ([SWAPS[op]] if op in SWAPS else []):
            add(m.start(1), m.end(1), replacement, f"{op} to {replacement} ({k})")
    for m in INCREMENT.finditer(masked):
        op = m.group(0)
        k = occurrence_name(counts, op)
        add(m.start(), m.end(), SWAPS[op], f"{op} to {SWAPS[op]} ({k})")
    # A literal among template arguments (std::array<uint8_t, 256>) is part
    # of a type that other declarations must match: changing it one place
    # only makes a program that does not compile.
    templates = [t.span(1) for t in TEMPLATE_ARGUMENTS.finditer(masked)]
    for m in LITERAL.finditer(masked):
        if any(start <= m.start() < end for start, end in templates):
            continue
        text, suffix = m.group(1), m.group(2)
        k = occurrence_name(counts, text + suffix)
        value = int(text, 16) if text[:2] in ("0x", "0X") else int(text)
        for delta in (1, -1):
            if value + delta < 0:
                continue
            new = f"0x{value + delta:X}" if text[:2] in ("0x", "0X") else str(value + delta)
            add(m.start(1), m.end(1), new, f"{text}{suffix} to {new}{suffix} ({k})")
    for m in JUMP.finditer(masked):
        word = m.group(1)
        other = "continue" if word == "break" else "break"
        add(m.start(1), m.end(1), other, f"{word} to {other}")

    indent = line[: len(line) - len(line.lstrip())]
    first_word = re.match(r"[A-Za-z_]\w*", stripped)
    if (CALL_STATEMENT.match(stripped) and balanced(stripped)
            and first_word and first_word.group(0) not in NOT_CALLS):
        found.append(Mutant(path, line_no, line, indent + ";", "call removed"))

    ret = RETURN.search(masked)
    if ret and balanced(stripped):
        start = ret.start()
        before = masked[:start].strip()
        value = line[ret.start(1):ret.end(1)].strip()
        if before.startswith("if") and balanced(before) or (not before and guarded_block):
            if before:
                # "if (c) return x;" keeps its test and does nothing.
                found.append(Mutant(path, line_no, line, line[:start] + "{}", "early return removed"))
            else:
                found.append(Mutant(path, line_no, line, indent + ";", "early return removed"))
        if value and value not in ("true", "false", "nullptr", "{}") and not LITERAL.fullmatch(value):
            found.append(Mutant(path, line_no, line,
                                line[:ret.start(1)] + " {}" + line[ret.end(1):], "return {}"))
        elif value in ("true", "false"):
            other = "false" if value == "true" else "true"
            found.append(Mutant(path, line_no, line,
                                line[:ret.start(1)] + " " + other + line[ret.end(1):],
                                f"return {other}"))
    return found


def file_mutants(tree, path):
    with open(os.path.join(tree, path), encoding="utf-8") as f:
        lines = f.read().split("\n")
    masked_lines = []
    in_comment = False
    for line in lines:
        masked, in_comment = mask_line(line, in_comment)
        masked_lines.append(masked)
    found = []
    seen = {}
    for i, (line, masked) in enumerate(zip(lines, masked_lines)):
        seen[line.strip()] = seen.get(line.strip(), 0) + 1
        for mutant in line_mutants(path, i + 1, line, masked, guarded(masked_lines, i)):
            mutant.repeat = seen[line.strip()]
            found.append(mutant)
    return found


def guarded(masked_lines, i):
    """Whether line i sits directly in the block of an if, else, loop or
    case: the nearest line above it with less indentation opens one."""
    def indent_of(text):
        return len(text) - len(text.lstrip())
    own = indent_of(masked_lines[i])
    for j in range(i - 1, -1, -1):
        text = masked_lines[j]
        if not text.strip():
            continue
        if indent_of(text) < own:
            return bool(GUARDS.match(text.strip()))
    return False


# --- the tree, the build and the tests ------------------------------------

def run(cmd, timeout=None, cwd=None, env=None):
    """Runs a command in its own process group, which is killed on a time-out
    or an interrupt. Returns (exit status or None on time-out, output)."""
    proc = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, start_new_session=True, text=True,
                            errors="replace")
    try:
        out, _ = proc.communicate(timeout=timeout)
        return proc.returncode, out
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        out, _ = proc.communicate()
        return None, out
    except BaseException:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
        raise


def tree_files():
    code, out = run(["git", "ls-files", "-co", "--exclude-standard"], cwd=ROOT)
    if code == 0:
        files = [f for f in out.splitlines() if f]
    else:
        files = []
        for dirpath, dirnames, filenames in os.walk(ROOT):
            rel = os.path.relpath(dirpath, ROOT)
            dirnames[:] = [d for d in dirnames
                           if not (rel == "." and (d.startswith("build") or d == ".git"))]
            files += [os.path.normpath(os.path.join(rel, f)) for f in filenames]
    return [f for f in files if not f.startswith("build") and os.path.isfile(os.path.join(ROOT, f))]


def sync_copy():
    """Brings build-mutate/src to the working tree's contents, touching only
    the files that differ so that the build stays incremental."""
    wanted = set(tree_files())
    for rel in sorted(wanted):
        src, dst = os.path.join(ROOT, rel), os.path.join(SRC, rel)
        with open(src, "rb") as f:
            data = f.read()
        if os.path.exists(dst):
            with open(dst, "rb") as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        with open(dst, "wb") as f:
            f.write(data)
        shutil.copymode(src, dst)
    for dirpath, _, filenames in os.walk(SRC):
        for name in filenames:
            rel = os.path.relpath(os.path.join(dirpath, name), SRC)
            if rel not in wanted:
                os.remove(os.path.join(dirpath, name))


def build_env():
    env = dict(os.environ)
    if shutil.which("ccache"):
        env.setdefault("CMAKE_CXX_COMPILER_LAUNCHER", "ccache")
        env.setdefault("CCACHE_BASEDIR", os.path.dirname(ROOT))
    return env


def configure_and_build(jobs):
    # No optimisation and no debug information: a mutant builds fastest so.
    cmd = ["cmake", "-S", SRC, "-B", BUILD, "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON",
           "-DCMAKE_BUILD_TYPE=Mutate"]
    if shutil.which("ninja") and not os.path.exists(os.path.join(BUILD, "CMakeCache.txt")):
        cmd += ["-G", "Ninja"]
    code, out = run(cmd, env=build_env())
    if code != 0:
        sys.exit("mutate: cmake failed:\n" + out)
    code, out = run(["cmake", "--build", BUILD, "-j", str(jobs)], env=build_env())
    if code != 0:
        sys.exit("mutate: the unmutated program does not build:\n" + out[-4000:])


def compiled_sources():
    with open(os.path.join(BUILD, "compile_commands.json"), encoding="utf-8") as f:
        entries = json.load(f)
    return {os.path.relpath(e["file"], SRC) for e in entries}


def label_regex(labels):
    return "^(" + "|".join(re.escape(l) for l in labels) + ")$"


def test_targets(labels):
    """The test executables that hold the tests of these labels, as build
    targets (those that run the program or the simulator depend on them)."""
    code, out = run(["ctest", "--test-dir", BUILD, "-L", label_regex(labels),
                     "--show-only=json-v1"])
    if code != 0:
        sys.exit("mutate: ctest cannot list the tests:\n" + out)
    tests = json.loads(out[out.index("{"):])["tests"]
    targets = set()
    for test in tests:
        command = test.get("command") or []
        if command and command[0].startswith(BUILD):
            targets.add(os.path.basename(command[0]))
    return sorted(targets), len(tests)


def run_tests(labels, timeout, jobs):
    """Runs the tests of the labels, stopping at the first failure.
    Returns "passed", "failed" or "hung" and the name of the failing test."""
    # Without the times of earlier runs CTest starts the tests in their order,
    # the quick unit tests first, rather than the longest first.
    cost_data = os.path.join(BUILD, "Testing", "Temporary", "CTestCostData.txt")
    if os.path.exists(cost_data):
        os.remove(cost_data)
    code, out = run(["ctest", "--test-dir", BUILD, "-L", label_regex(labels), "-j", str(jobs),
                     "--stop-on-failure", "--timeout", str(timeout)],
                    timeout=timeout * 4 + 60)
    if code == 0:
        return "passed", ""
    failed = re.findall(r"\d+/\d+ Test\s+#\d+: (\S+) \.*\s*(\*\*\*Timeout|\*\*\*Failed|.*)", out)
    if code is None or any("Timeout" in kind for _, kind in failed):
        name = failed[-1][0] if failed else ""
        return "hung", name
    bad = [name for name, kind in failed if "Passed" not in kind]
    return "failed", bad[-1] if bad else ""


# --- equivalents -----------------------------------------------------------

def read_equivalents():
    """tests/mutation-equivalents.txt: a line "path: line text" names a line
    of the program; the indented lines under it name its mutants that cannot
    change behaviour, "  change: reason"."""
    entries = {}
    if not os.path.exists(EQUIVALENTS):
        return entries
    current = None
    with open(EQUIVALENTS, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            if not line[0].isspace():
                path, _, text = line.partition(": ")
                current = (path.strip(), text.strip())
            elif current:
                what, _, reason = line.strip().partition(": ")
                entries[current + (what.strip(),)] = reason.strip()
    return entries


# --- the run ---------------------------------------------------------------

def sample(mutants, size, seed):
    """The `size` mutants whose keys, hashed with the seed, come first: the
    same seed picks the same mutants, and a change elsewhere in the code
    does not move the rest of the sample."""
    def rank(m):
        return hashlib.sha256(f"{seed}|{'|'.join(m.key())}".encode()).hexdigest()
    if size > 0 and len(mutants) > size:
        mutants = sorted(mutants, key=rank)[:size]
    return sorted(mutants, key=lambda m: (m.path, m.line_no, m.what))


def write_survivor(mutant, index, lines):
    """The survivor's diff against the file's `lines`, headed by the lines
    that list it in tests/mutation-equivalents.txt."""
    os.makedirs(SURVIVORS, exist_ok=True)
    name = f"{mutant.folder}-{index:02d}.diff"
    mutated = list(lines)
    mutated[mutant.line_no - 1] = mutant.mutated
    diff = difflib.unified_diff([l + "\n" for l in lines], [l + "\n" for l in mutated],
                                f"a/{mutant.path}", f"b/{mutant.path}", n=2)
    with open(os.path.join(SURVIVORS, name), "w", encoding="utf-8") as f:
        f.write(f"# {mutant.path}: {mutant.line_text()}\n#   {mutant.what}: \n")
        f.writelines(diff)
    return name


def touch_later(path, previous):
    """Gives the file a modification time after any it had, so that make
    rebuilds it even within one second."""
    stamp = max(time.time_ns(), previous + 1_000_000_000)
    os.utime(path, ns=(stamp, stamp))
    return stamp


def main():
    size = int(os.environ.get("MUTATE_SAMPLE", "25"))
    seed = os.environ.get("MUTATE_SEED", "1")
    timeout = int(os.environ.get("MUTATE_TIMEOUT", "60"))
    jobs = int(os.environ.get("JOBS", "2"))
    folders = os.environ.get("MUTATE_FOLDERS", " ".join(FOLDERS)).replace(",", " ").split()
    unknown = [f for f in folders if f not in FOLDERS]
    if unknown:
        sys.exit(f"mutate: not a folder of the program: {' '.join(unknown)}")

    # A termination is an interrupt: the copy is put back on the way out.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    signal.signal(signal.SIGHUP, signal.default_int_handler)

    os.makedirs(SRC, exist_ok=True)
    print(f"mutate: copying the tree to {os.path.relpath(SRC, ROOT)} and building it", flush=True)
    sync_copy()
    configure_and_build(jobs)
    compiled = compiled_sources()
    equivalents = read_equivalents()
    for name in os.listdir(SURVIVORS) if os.path.isdir(SURVIVORS) else []:
        if name.split("-")[0] in folders:
            os.remove(os.path.join(SURVIVORS, name))

    results = {}
    stamp = 0
    for folder in folders:
        labels = TEST_LABELS[folder]
        targets, test_count = test_targets(labels)
        # The last mutant of the folder before may have been built into
        # other targets than this folder's: build them from the tree as it is.
        code, out = run(["cmake", "--build", BUILD, "-j", str(jobs), "--target"] + targets,
                        env=build_env())
        if code != 0:
            sys.exit("mutate: the unmutated program does not build:\n" + out[-4000:])
        started = time.time()
        verdict, name = run_tests(labels, timeout, jobs)
        if verdict != "passed":
            # A test over a pty can fail on a loaded machine: once more.
            verdict, name = run_tests(labels, timeout, jobs)
        if verdict != "passed":
            print(f"\n== {folder}: skipped: the tests fail without a mutant ({name})", flush=True)
            continue
        paths = sorted(os.path.relpath(os.path.join(d, f), SRC)
                       for d, _, fs in os.walk(os.path.join(SRC, folder)) for f in fs)
        paths = [p for p in paths
                 if p in compiled or (p.endswith(".h") and "win32" not in p)]
        mutants = [m for p in paths for m in file_mutants(SRC, p)]
        chosen = sample(mutants, size, seed)
        print(f"\n== {folder}: {len(chosen)} of {len(mutants)} mutants, "
              f"{test_count} tests ({', '.join(labels)}: {time.time() - started:.0f}s)", flush=True)
        survivors = 0
        for index, mutant in enumerate(chosen, 1):
            mutant.folder = folder
            started = time.time()
            if mutant.key() in equivalents:
                mutant.outcome = "equivalent"
            else:
                file = os.path.join(SRC, mutant.path)
                with open(file, encoding="utf-8") as f:
                    original = f.read()
                lines = original.split("\n")
                lines[mutant.line_no - 1] = mutant.mutated
                try:
                    with open(file, "w", encoding="utf-8") as f:
                        f.write("\n".join(lines))
                    stamp = touch_later(file, stamp)
                    code, out = run(["cmake", "--build", BUILD, "-j", str(jobs), "--target"]
                                    + targets, env=build_env(), timeout=1800)
                    if code != 0:
                        mutant.outcome = "not compiling"
                    else:
                        verdict, name = run_tests(labels, timeout, jobs)
                        mutant.outcome = {"passed": "survived", "failed": "killed",
                                          "hung": "killed (hung)"}[verdict]
                        mutant.detail = name
                finally:
                    with open(file, "w", encoding="utf-8") as f:
                        f.write(original)
                    stamp = touch_later(file, stamp)
                if mutant.outcome == "survived":
                    survivors += 1
                    mutant.detail = write_survivor(mutant, survivors, original.split("\n"))
            print(f"  {index:3d} {mutant.outcome:14s} {mutant.path}:{mutant.line_no} "
                  f"{mutant.what}  {mutant.detail}  [{time.time() - started:.0f}s]", flush=True)
        results[folder] = chosen

    print_table(results)
    # The copy is left as the working tree is, built, for the next run.
    run(["cmake", "--build", BUILD, "-j", str(jobs)], env=build_env())


def print_table(results):
    lines = ["folder       sampled  killed  (hung)  equivalent  survived  not compiling  score"]
    for folder, mutants in results.items():
        count = lambda *kinds: sum(1 for m in mutants if m.outcome in kinds)
        killed = count("killed", "killed (hung)")
        hung = count("killed (hung)")
        survived = count("survived")
        scored = killed + survived
        score = f"{100 * killed / scored:.0f} %" if scored else "-"
        lines.append(f"{folder:12s} {len(mutants):7d} {killed:7d} {hung:7d} "
                     f"{count('equivalent'):11d} {survived:9d} {count('not compiling'):14d}  "
                     f"{score:>5s}")
    lines.append("score: killed of killed and survived (equivalent and not compiling mutants "
                 "left out)")
    survivors = [m for ms in results.values() for m in ms if m.outcome == "survived"]
    for m in survivors:
        lines.append(f"survived: {m.path}:{m.line_no} {m.what}  ({m.detail})")
    if survivors:
        lines.append(f"survivors' diffs: {os.path.relpath(SURVIVORS, ROOT)}/")
    print("\n" + "\n".join(lines))
    with open(os.path.join(WORK, "report.txt"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def list_mutants():
    """`mutate.py --list [folder...]`: every mutant of the working tree's
    folders, one a line, without building anything."""
    folders = sys.argv[2:] or FOLDERS
    for folder in folders:
        for dirpath, _, names in sorted(os.walk(os.path.join(ROOT, folder))):
            for name in sorted(names):
                if not name.endswith((".cpp", ".h")) or "win32" in name:
                    continue
                path = os.path.relpath(os.path.join(dirpath, name), ROOT)
                for m in file_mutants(ROOT, path):
                    print(f"{m.path}:{m.line_no}: {m.what}\n    {m.line_text()}\n"
                          f"    {m.mutated.strip()}")


if __name__ == "__main__":
    if sys.argv[1:2] == ["--list"]:
        list_mutants()
        sys.exit(0)
    if len(sys.argv) > 1:
        # A run takes long: anything but --list only shows how to use it.
        print(__doc__ + "\nUsage: mutate.py [--list [FOLDER...]]",
              file=sys.stdout if sys.argv[1] in ("-h", "--help") else sys.stderr)
        sys.exit(0 if sys.argv[1] in ("-h", "--help") else 2)
    try:
        main()
    except KeyboardInterrupt:
        print("\nmutate: interrupted; the copy of the tree is restored", file=sys.stderr)
        sys.exit(130)
