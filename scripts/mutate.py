#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
"""Mutation testing: how many small faults in chosen files does the suite catch?

Draws a seeded random sample of mutations (operators, constants, conditions,
loop bounds, removed statements) in the given source files, builds each
mutant with the Release flags and runs the CTest suite against it with a
time-out, and reports every mutant as caught, survived or equivalent, with
its line.

    scripts/mutate.py --seed 7 --count 100 rtp/            # a sample over rtp/
    scripts/mutate.py --list g723/decoder/lsp_decode.cpp    # the sites only
    scripts/mutate.py --mutant rtp/packet/rtp_packet.cpp:23:24 ...

Work happens in build/mutate (or --work): one copy of the sources and one
build folder per worker, kept between runs, so that a mutant costs the
recompilation of its own file, the links that depend on it and the tests that
can reach it:
  - a mutant whose objects come out byte for byte as before is equivalent
    (the compiler proved it so) and runs no test;
  - the tests run nearest first (the test file that mirrors the mutated file,
    then its folder, then the rest, fastest first), only those whose programs
    link the mutated file, and stop at the first failure;
  - with --sanitize-bounds, a mutant that touches a bound (a comparison, a
    loop bound, a constant next to an index or a size) and survives the
    Release suite runs again under AddressSanitizer, UndefinedBehaviorSanitizer
    and the standard library's own bounds checks, which see a read one past
    the end that leaves the results unchanged.
Known equivalent mutants are listed, with their reason, in
tests/mutation_equivalents.txt (file, line before, line after, reason).
"""

import argparse
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SOURCE_SUFFIXES = (".cpp", ".cc", ".h", ".hpp", ".c")
# The configuration of the suite: scripts/test.sh's, without the benchmarks.
CONFIGURE = ["-DCMAKE_BUILD_TYPE=Release", "-DG723_BUILD_TESTS=ON", "-DG723_BUILD_BENCH=OFF"]
SANITIZED = ["-DCMAKE_BUILD_TYPE=Debug", "-DG723_SANITIZE=ON", "-DG723_BUILD_TESTS=ON", "-DG723_BUILD_BENCH=OFF",
             "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g -D_GLIBCXX_ASSERTIONS", "-DCMAKE_C_FLAGS_DEBUG=-O1 -g"]
SANITIZER_ENV = {"ASAN_OPTIONS": "halt_on_error=1:detect_leaks=1:abort_on_error=0",
                 "UBSAN_OPTIONS": "halt_on_error=1:print_stacktrace=1"}


# --------------------------------------------------------------------------
# Finding mutation sites

def blank_comments_and_literals(text):
    """The text with comments, string and character literals and preprocessor
    lines replaced by spaces (newlines kept), so that offsets stay valid."""
    out = list(text)
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            # A preprocessor line, with its continuations.
            while i < n and text[i] != "\n":
                if text[i] == "\\" and i + 1 < n and text[i + 1] == "\n":
                    out[i] = " "
                    i += 2
                    continue
                out[i] = " "
                i += 1
            continue
        if c == "\n":
            line_start = True
            i += 1
            continue
        if not c.isspace():
            line_start = False
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                out[i] = " "
                i += 1
            continue
        if text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            for j in range(i, end):
                if text[j] != "\n":
                    out[j] = " "
            i = end
            continue
        raw = re.match(r'R"([^(\s]*)\(', text[i:i + 20])
        if raw and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            end = text.find(")" + raw.group(1) + '"', i)
            end = n if end < 0 else end + len(raw.group(1)) + 2
            for j in range(i, end):
                if text[j] != "\n":
                    out[j] = " "
            i = end
            continue
        if c in "\"'":
            # A digit separator is not a character literal.
            if c == "'" and i > 0 and text[i - 1].isalnum() and i + 1 < n and text[i + 1].isalnum():
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            for k in range(i, min(j + 1, n)):
                out[k] = " "
            i = j + 1
            continue
        i += 1
    return "".join(out)


@dataclass
class Site:
    path: str        # relative to the root
    start: int       # offsets into the file's text
    end: int
    replacement: str
    kind: str
    line: int
    column: int
    bounds: bool = False  # touches a bound: worth a sanitized run

    @property
    def ident(self):
        return f"{self.path}:{self.line}:{self.column}:{self.kind}"


OPERATOR_SWAPS = {
    "<": ["<=", ">="], "<=": ["<", ">"], ">": [">=", "<="], ">=": [">", "<"],
    "==": ["!="], "!=": ["=="], "&&": ["||"], "||": ["&&"],
    "+": ["-"], "-": ["+"], "*": ["/"], "/": ["*"], "%": ["*"],
    "+=": ["-="], "-=": ["+="], "*=": ["/="], "/=": ["*="],
    "<<": [">>"], ">>": ["<<"], "&": ["|"], "|": ["&"], "^": ["|"],
    "&=": ["|="], "|=": ["&="],
}
ARITHMETIC = {"+", "-", "*", "/", "%", "+=", "-=", "*=", "/=", "<<", ">>", "&", "|", "^", "&=", "|="}
RELATIONAL = {"<", "<=", ">", ">=", "==", "!="}
# A binary operator with a space on both sides (the house format), which
# tells `a < b` from a template's angle brackets and `T* p` from a product.
BINARY = re.compile(r"(?<=\S) (<<=|>>=|<=|>=|==|!=|&&|\|\||\+=|-=|\*=|/=|&=|\|=|<<|>>|[<>+\-*/%&|^]) (?=\S)")
NUMBER = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F']+|\d[\d']*(\.\d*)?([eE][+-]?\d+)?|\.\d+([eE][+-]?\d+)?)([uUlLfF]*)(?![\w.])")
BOUND_WORDS = re.compile(r"\[|size|end|bytes|length|count|capacity|limit|max|min|\.data|begin")
DECLARATION = re.compile(r"^(static\s+|const\s+|constexpr\s+|inline\s+|thread_local\s+)*"
                         r"[A-Za-z_][\w:]*(<[^;=]*>)?[\s*&]+[A-Za-z_]\w*\s*(=|\{|;|\(|\[)")
NOT_STATEMENT = re.compile(r"^(return|using|namespace|template|typedef|struct|class|enum|case|default|"
                           r"public|private|protected|static_assert|friend|goto|else|do)\b")
TABLE_LINE = re.compile(r"^[\s\d.eE+\-fFuUlLxX',{}()]*$")


def matching_paren(text, open_at):
    depth = 0
    for i in range(open_at, len(text)):
        if text[i] == "(":
            depth += 1
        elif text[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


def find_sites(path, text, include_tables=False):
    """Every mutation site of a file."""
    blank = blank_comments_and_literals(text)
    line_starts = [0] + [m.end() for m in re.finditer("\n", text)]

    def position(offset):
        lo, hi = 0, len(line_starts) - 1
        while lo < hi:
            mid = (lo + hi + 1) // 2
            if line_starts[mid] <= offset:
                lo = mid
            else:
                hi = mid - 1
        return lo + 1, offset - line_starts[lo] + 1

    # Spans of `for (...; condition; ...)` conditions and of if/while conditions.
    loop_conditions, conditions = [], []
    for m in re.finditer(r"\b(for|if|while)\s*\(", blank):
        open_at = m.end() - 1
        close = matching_paren(blank, open_at)
        if close < 0:
            continue
        if m.group(1) == "for":
            header = blank[open_at + 1:close]
            parts = []
            depth, last = 0, 0
            for k, ch in enumerate(header):
                if ch in "([{":
                    depth += 1
                elif ch in ")]}":
                    depth -= 1
                elif ch == ";" and depth == 0:
                    parts.append(last)
                    last = k + 1
            if len(parts) == 2:  # a classic three-part loop
                loop_conditions.append((open_at + 1 + parts[1] + 1, open_at + 1 + len(header)))
        else:
            # `if constexpr`, `if (auto x = ...; cond)` are left alone.
            inner = blank[open_at + 1:close]
            if ";" in inner or blank[m.start():open_at].strip().endswith("constexpr"):
                continue
            conditions.append((open_at + 1, close))

    sites = []

    def add(start, end, replacement, kind, bounds=False):
        line, column = position(start)
        sites.append(Site(path, start, end, replacement, kind, line, column, bounds))

    data_lines = set()
    if not include_tables:
        for number, start in enumerate(line_starts):
            end = line_starts[number + 1] if number + 1 < len(line_starts) else len(text)
            content = blank[start:end].strip()
            if content and NUMBER.search(content) and TABLE_LINE.match(content):
                data_lines.add(number + 1)

    def in_spans(offset, spans):
        return any(a <= offset < b for a, b in spans)

    for m in BINARY.finditer(blank):
        op = m.group(1)
        if op not in OPERATOR_SWAPS:
            continue
        start, end = m.start(1), m.end(1)
        line_text = blank[line_starts[position(start)[0] - 1]:].split("\n", 1)[0]
        loop = in_spans(start, loop_conditions)
        if op in RELATIONAL:
            kind = "loop bound" if loop else "comparison"
            bounds = loop or bool(BOUND_WORDS.search(line_text))
        elif op in ("&&", "||"):
            kind, bounds = "condition", False
        else:
            kind = "operator"
            bounds = loop or bool(BOUND_WORDS.search(line_text))
        for replacement in OPERATOR_SWAPS[op]:
            add(start, end, replacement, kind, bounds)

    for m in NUMBER.finditer(blank):
        start = m.start()
        line, _ = position(start)
        if line in data_lines:
            continue
        digits, suffix = m.group(1), m.group(5)
        # Bit widths, shifts of lengths and array extents in declarations
        # rarely compile when changed; they are mutated like any other.
        try:
            if digits.lower().startswith("0x"):
                value = int(digits.replace("'", ""), 16)
                variants = [hex(value + 1)] + ([hex(value - 1)] if value > 0 else [])
            elif any(ch in digits for ch in ".eE"):
                value = float(digits.replace("'", ""))
                variants = [repr(value + 1.0)]
                if "f" in suffix.lower() and "." not in variants[0] and "e" not in variants[0]:
                    variants[0] += ".0"
            else:
                value = int(digits.replace("'", ""))
                variants = [str(value + 1)] + ([str(value - 1)] if value > 0 else [])
        except ValueError:
            continue
        line_text = blank[line_starts[line - 1]:].split("\n", 1)[0]
        bounds = bool(BOUND_WORDS.search(line_text)) or in_spans(start, loop_conditions)
        for variant in variants:
            add(start, m.end(), variant + suffix, "constant", bounds)

    for a, b in conditions:
        add(a, b, "!(" + text[a:b] + ")", "condition")

    for m in re.finditer(r"(?<![\w])!(?=[\w(])", blank):
        if blank[m.start():m.start() + 2] == "!=":
            continue
        add(m.start(), m.end(), "", "condition")

    for m in re.finditer(r"(\+\+|--)", blank):
        add(m.start(), m.end(), "--" if m.group(1) == "++" else "++", "operator",
            in_spans(m.start(), loop_conditions))

    # Removed statements: an expression statement that starts a line, after
    # the end of another statement or the opening of a block.
    for number, start in enumerate(line_starts):
        end_of_line = line_starts[number + 1] if number + 1 < len(line_starts) else len(blank)
        stripped = blank[start:end_of_line]
        first = len(stripped) - len(stripped.lstrip())
        begin = start + first
        content = blank[begin:end_of_line].strip()
        if not content or NOT_STATEMENT.match(content) or DECLARATION.match(content):
            continue
        if not (re.match(r"^[\w(*+\-:.\[\]>]", content)):
            continue
        before = blank[:begin].rstrip()
        if not before or before[-1] not in ";{}":
            continue
        depth = 0
        finish = -1
        for k in range(begin, min(len(blank), begin + 600)):
            ch = blank[k]
            if ch in "([":
                depth += 1
            elif ch in ")]":
                depth -= 1
            elif ch == "{" and depth == 0:
                break
            elif ch == "}" and depth == 0:
                break
            elif ch == ";" and depth == 0:
                finish = k + 1
                break
        if finish < 0:
            continue
        statement = blank[begin:finish]
        if re.match(r"^(if|for|while|switch)\b", statement):
            continue
        # An expression statement: a call, an assignment, an increment, a jump.
        if not (re.search(r"\(|=|\+\+|--", statement) or re.match(r"^(break|continue)\s*;", statement)):
            continue
        add(begin, finish, ";", "removed statement")

    # One mutant per place and replacement, in file order.
    unique = {}
    for site in sites:
        unique.setdefault((site.start, site.end, site.replacement), site)
    return sorted(unique.values(), key=lambda s: (s.start, s.end, s.replacement))


def source_files(arguments):
    files = []
    for argument in arguments:
        path = (ROOT / argument).resolve()
        if path.is_dir():
            for found in sorted(path.rglob("*")):
                if found.suffix in SOURCE_SUFFIXES and found.is_file():
                    files.append(found)
        elif path.is_file():
            files.append(path)
        else:
            sys.exit(f"mutate: no such file or folder: {argument}")
    # Each file once, however often it is named (--mutant names one per mutant).
    return list(dict.fromkeys(str(f.relative_to(ROOT)) for f in files))


def mutated_text(text, site):
    return text[:site.start] + site.replacement + text[site.end:]


def line_of(text, line):
    lines = text.split("\n")
    return lines[line - 1] if line - 1 < len(lines) else ""


# --------------------------------------------------------------------------
# Known equivalent mutants

def load_equivalents(path):
    known = []
    if not path or not path.exists():
        return known
    for raw in path.read_text().splitlines():
        if not raw.strip() or raw.startswith("#"):
            continue
        parts = raw.split("\t")
        if len(parts) != 4:
            sys.exit(f"mutate: {path}: expected four tab-separated fields: {raw!r}")
        known.append(tuple(p.strip() for p in parts))
    return known


def known_equivalent(known, path, before, after):
    for file, line_before, line_after, reason in known:
        if file == path and line_before == before.strip() and line_after == after.strip():
            return reason
    return None


# --------------------------------------------------------------------------
# Workers: a copy of the sources and build folders of their own

RUNNING = set()     # child processes, each the leader of its own group
NINJA_JOBS = 2      # compilations at once per build: the machine is shared
IN_FLIGHT = {}      # worker number: (file, its text, its stat, objects saved)


def run(command, cwd=None, timeout=None, env=None, capture=True):
    """Runs a command in its own process group; kills the group on time-out.
    Returns (exit status or None on time-out, output)."""
    process = subprocess.Popen(command, cwd=cwd, env=env, start_new_session=True,
                               stdout=subprocess.PIPE if capture else None,
                               stderr=subprocess.STDOUT if capture else None, text=True, errors="replace")
    RUNNING.add(process)
    try:
        output, _ = process.communicate(timeout=timeout)
        return process.returncode, output or ""
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        output, _ = process.communicate()
        return None, output or ""
    finally:
        RUNNING.discard(process)


def put_back(path, original, stat, saved):
    """The file as it was, and the objects compiled from it."""
    path.write_text(original)
    os.utime(path, ns=(stat.st_atime_ns, stat.st_mtime_ns))
    if not str(path).endswith((".cpp", ".cc", ".c")):
        path.touch()  # whatever included a mutated header is rebuilt next time
    for (folder, obj), content in saved.items():
        # The original object comes back newer than its source, so nothing
        # recompiles, and everything linked from it relinks.
        (folder / obj).write_bytes(content)


def stop(number, _frame):
    """On an interrupt: stops the builds and tests under way and puts back
    the files and objects of the mutants under way."""
    for process in list(RUNNING):
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except OSError:
            pass
    for path, original, stat, saved, fresh in list(IN_FLIGHT.values()):
        put_back(path, original, stat, saved)
        for obj in fresh:
            obj.unlink(missing_ok=True)
    print(f"mutate: stopped by signal {number}; mutated files put back", file=sys.stderr, flush=True)
    os._exit(128 + number)


def tracked_files():
    listing = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=ROOT,
                             capture_output=True, check=True).stdout.decode()
    return [f for f in listing.split("\0") if f and (ROOT / f).is_file()]


def sync_tree(destination):
    """Copies the checkout's files into `destination`, touching only those
    that changed, so that an up-to-date build stays up to date."""
    wanted = set()
    for name in tracked_files():
        wanted.add(name)
        source, target = ROOT / name, destination / name
        if target.exists() and target.stat().st_size == source.stat().st_size and \
                target.read_bytes() == source.read_bytes():
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        # Stamped now, so that whatever was built from an older copy (or a
        # mutant left by a run stopped hard) is rebuilt.
        shutil.copyfile(source, target)
        shutil.copymode(source, target)
    for target in list(destination.rglob("*")):
        relative = str(target.relative_to(destination))
        if target.is_file() and relative not in wanted:
            target.unlink()


@dataclass
class Test:
    name: str
    command: list
    directory: str
    environment: dict
    programs: set            # build artifacts the test runs or loads
    source: str = ""         # the test's source file, for gtest cases
    seconds: float = 1.0


class Build:
    """One CMake build folder of a worker's source copy."""

    def __init__(self, source, folder, options, log):
        self.source, self.folder, self.options, self.log = source, folder, options, log
        self.tests = []
        self.consumers = {}

    def configure(self, jobs, build=True):
        if not (self.folder / "build.ninja").exists():
            code, output = run(["cmake", "-S", str(self.source), "-B", str(self.folder), "-G", "Ninja",
                                *self.options])
            if code != 0:
                raise RuntimeError(f"configuring {self.folder} failed:\n{output[-3000:]}")
        if not build:
            return
        code, output = run(["cmake", "--build", str(self.folder), "-j", str(jobs)])
        if code != 0:
            raise RuntimeError(f"building {self.folder} failed:\n{output[-3000:]}")

    def ninja(self, *arguments, timeout=None):
        return run(["ninja", "-C", str(self.folder), "-j", str(NINJA_JOBS), *arguments], timeout=timeout)

    def ninja_build(self):
        return (self.folder / "build.ninja").exists()

    def build(self, *targets, timeout=None):
        """Builds outputs (Ninja: paths; otherwise CMake target names)."""
        if self.ninja_build():
            return self.ninja(*targets, timeout=timeout)
        names = [Path(t).name for t in targets]
        return run(["cmake", "--build", str(self.folder), "-j", "1", *sum((["--target", n] for n in names), [])],
                   timeout=timeout)

    def objects_of(self, relative):
        """The object files compiled from a source file: CMake puts the
        object of DIR/SUB/FILE.cpp at DIR/CMakeFiles/TARGET.dir/SUB/FILE.cpp.o
        below the build folder, with '..' spelled '__'."""
        if not hasattr(self, "_objects"):
            self._objects = {}
            if self.ninja_build():
                # From the build graph, so that objects not built yet count too.
                _, listing = self.ninja("-t", "targets", "all")
                names = [line.split(":", 1)[0] for line in listing.splitlines() if line.split(":", 1)[0].endswith(".o")]
            else:
                names = [str(obj.relative_to(self.folder)) for obj in self.folder.rglob("*.o")]
            for text in names:
                if "/CMakeFiles/" not in "/" + text or ".dir/" not in text:
                    continue
                prefix, _, rest = ("/" + text).partition("/CMakeFiles/")
                inner = rest.split(".dir/", 1)[1][:-2]
                source = os.path.normpath(os.path.join(prefix.lstrip("/"), inner.replace("__/", "../")))
                self._objects.setdefault(source, []).append(text)
        return sorted(self._objects.get(os.path.normpath(relative), []))

    def dependents(self, artifact, seen=None):
        """Every build output that `artifact` goes into, transitively; None
        when the generator cannot tell (then every test counts)."""
        if not self.ninja_build():
            return None
        if artifact in self.consumers:
            return self.consumers[artifact]
        code, output = self.ninja("-t", "query", artifact)
        found, outputs = set(), False
        for line in output.splitlines():
            if line.strip() == "outputs:":
                outputs = True
            elif line.startswith("  ") and not line.startswith("    "):
                outputs = False
            elif outputs and line.startswith("    "):
                found.add(line.strip())
        result = set(found)
        for item in found:
            result |= self.dependents(item)
        self.consumers[artifact] = result
        return result

    def discover_tests(self):
        code, output = run(["ctest", "--test-dir", str(self.folder), "--show-only=json-v1"])
        data = json.loads(output[output.find("{"):])
        artifacts = set()
        for found in self.folder.rglob("*"):
            if "CMakeFiles" in found.parts or not found.is_file():
                continue
            if found.suffix == ".so" or (os.access(found, os.X_OK) and found.suffix == ""):
                artifacts.add(str(found.relative_to(self.folder)))
        self.tests = []
        sources = {}
        for entry in data.get("tests", []):
            command = entry.get("command") or []
            environment, directory = {}, str(self.folder)
            for prop in entry.get("properties", []):
                if prop["name"] == "ENVIRONMENT":
                    for item in prop["value"]:
                        key, _, value = item.partition("=")
                        environment[key] = value
                elif prop["name"] == "WORKING_DIRECTORY":
                    directory = prop["value"]
            words = " ".join(command) + " " + " ".join(environment.values())
            programs = set()
            for artifact in artifacts:
                absolute = str(self.folder / artifact)
                if absolute in words or (artifact.endswith(".so") and str(Path(absolute).parent) in words):
                    programs.add(artifact)
            test = Test(entry["name"], command, directory, environment, programs)
            if command and "--gtest_filter=" in " ".join(command):
                program = command[0]
                if program not in sources:
                    sources[program] = gtest_sources(program)
                case = next((c.split("=", 1)[1] for c in command if c.startswith("--gtest_filter=")), "")
                test.source = sources[program].get(case, "")
            self.tests.append(test)


def gtest_sources(program):
    """Each test case's source file, from the program's own listing."""
    listing = Path(f"/tmp/mutate-list-{os.getpid()}-{threading.get_ident()}.json")
    run([program, "--gtest_list_tests", f"--gtest_output=json:{listing}"])
    found = {}
    try:
        data = json.loads(listing.read_text())
        for suite in data.get("testsuites", []):
            for case in suite.get("testsuite", []):
                found[f"{suite['name']}.{case['name']}"] = case.get("file", "")
    except (OSError, ValueError):
        pass
    listing.unlink(missing_ok=True)
    return found


def nearness(test, relative):
    """0: the test file mirroring the mutated file; 1: its folder; 2: the rest."""
    stem, folder = Path(relative).stem, Path(relative).parent.name
    if test.source:
        source = Path(test.source)
        if source.stem in (stem + "_test", stem + "_tests"):
            return 0
        if source.parent.name == folder:
            return 1
    elif stem in test.name:
        return 0
    return 2


@dataclass
class Outcome:
    site: Site
    status: str              # caught, survived, equivalent, not compiled
    detail: str = ""
    seconds: float = 0.0
    tests_run: int = 0
    before: str = ""
    after: str = ""
    sanitized: bool = False


class Worker:
    def __init__(self, number, work, options, args):
        self.number = number
        self.in_place = bool(args.build)
        self.linked = set()
        self.flaky = set()
        self.source = ROOT if self.in_place else work / f"worker{number}" / "src"
        release = Path(args.build).resolve() if self.in_place else work / f"worker{number}" / "release"
        self.release = Build(self.source, release, CONFIGURE + options, None)
        self.sanitized = Build(self.source, work / f"worker{number}" / "sanitized", SANITIZED + options, None)
        self.sanitized_ready = False
        self.args = args

    def prepare(self, jobs, timings):
        if not self.in_place:
            self.source.mkdir(parents=True, exist_ok=True)
            sync_tree(self.source)
            self.release.configure(jobs)
        self.release.discover_tests()
        for test in self.release.tests:
            test.seconds = timings.get(test.name, test.seconds)

    def prepare_sanitized(self):
        """Configures the sanitized build without building it: each test's
        programs are built the first time a mutant needs them. Its tests are
        the Release build's, with the folder swapped (the test lists of
        programs not built yet are not known to CTest)."""
        if not self.sanitized_ready:
            self.sanitized.configure(NINJA_JOBS, build=not self.sanitized_lazy())
            if self.sanitized_lazy():
                old, new = str(self.release.folder), str(self.sanitized.folder)
                self.sanitized.tests = [
                    Test(t.name, [c.replace(old, new) for c in t.command], t.directory.replace(old, new),
                         {k: v.replace(old, new) for k, v in t.environment.items()}, set(t.programs),
                         t.source, t.seconds) for t in self.release.tests]
            else:
                self.sanitized.discover_tests()
            self.sanitized_ready = True

    def sanitized_lazy(self):
        return self.release.ninja_build()

    def reaching(self, build, relative, objects):
        """The tests whose programs link the mutated objects, nearest first."""
        # A header's mutant may reach any program: every test counts.
        affected = set() if objects else None
        for obj in objects:
            found = build.dependents(obj)
            affected = None if found is None or affected is None else affected | found
        chosen = [t for t in build.tests if t.programs and (affected is None or t.programs & affected)]
        pattern = re.compile(self.args.tests) if self.args.tests else None
        excluded = re.compile(self.args.exclude_tests) if self.args.exclude_tests else None
        chosen = [t for t in chosen if (not pattern or pattern.search(t.name)) and
                  not (excluded and excluded.search(t.name))]
        chosen.sort(key=lambda t: (nearness(t, relative), t.seconds, t.name))
        return chosen

    def run_tests(self, build, tests, environment_extra=None):
        """Runs tests in order until one fails; returns (failed test, reason, count)."""
        built = set()
        for count, test in enumerate(tests, 1):
            missing = sorted(p for p in test.programs if p not in built)
            if missing:
                self.linked.update(missing)
                code, output = build.build(*missing)
                if code != 0:
                    return test.name, "link failed", count
                built.update(missing)
            environment = dict(os.environ)
            environment.update(test.environment)
            if environment_extra:
                environment.update(environment_extra)
            limit = max(self.args.min_timeout, self.args.timeout_factor * test.seconds)
            code, output = run(test.command, cwd=test.directory, timeout=limit, env=environment)
            if code is None:
                return test.name, f"timed out after {limit:.0f} s", count
            if code != 0:
                # A fault fails a test every time; a test that passes on a
                # second run (a real-time test on a busy machine) is not
                # taken as catching the mutant.
                again, _ = run(test.command, cwd=test.directory, timeout=limit, env=environment)
                if again is None or again != 0:
                    return test.name, "failed", count
                self.flaky.add(test.name)
        return None, "", len(tests)

    def try_mutant(self, site, original):
        path = self.source / site.path
        started = time.monotonic()
        after = mutated_text(original, site)
        outcome = Outcome(site, "", before=line_of(original, site.line), after=line_of(after, site.line))
        reason = known_equivalent(self.args.known, site.path, outcome.before, outcome.after)
        if reason:
            outcome.status, outcome.detail = "equivalent", f"listed: {reason}"
            return outcome
        stat = path.stat()
        header = not site.path.endswith((".cpp", ".cc", ".c"))
        saved = {}
        fresh = []
        self.linked = set()
        builds = [self.release]
        try:
            # The objects the build made (a target left out of the default
            # build has objects in the graph but none on disk).
            objects = [] if header else [o for o in self.release.objects_of(site.path)
                                         if (self.release.folder / o).exists()]
            if not header and not objects:
                outcome.status, outcome.detail = "not compiled", "no object file is built from it"
                return outcome
            for obj in objects:
                saved[(self.release.folder, obj)] = (self.release.folder / obj).read_bytes()
            IN_FLIGHT[self.number] = (path, original, stat, saved, fresh)
            path.write_text(after)
            os.utime(path, ns=(time.time_ns(), max(time.time_ns(), stat.st_mtime_ns + 1)))
            tests = self.reaching(self.release, site.path, objects)
            # The mutated objects alone first (Ninja builds them by name;
            # other generators build the targets that own them), then a
            # header's dependents all at once.
            if objects:
                targets = objects if self.release.ninja_build() else sorted(
                    {obj.split("/CMakeFiles/")[-1].split(".dir/")[0] if "/CMakeFiles/" in "/" + obj else obj
                     for obj in ("/" + o for o in objects)})
                if not self.release.ninja_build():
                    self.linked.update(targets)
                code, output = self.release.build(*targets)
            else:
                code, output = self.release.build()
            if code != 0:
                outcome.status, outcome.detail = "not compiled", first_error(output)
                return outcome
            if objects and all((self.release.folder / obj).read_bytes() == saved[(self.release.folder, obj)]
                               for obj in objects):
                outcome.status, outcome.detail = "equivalent", "same machine code as the original"
                return outcome
            if not tests:
                outcome.status, outcome.detail = "survived", "no test reaches it"
                return outcome
            failed, why, count = self.run_tests(self.release, tests)
            outcome.tests_run = count
            if failed:
                outcome.status, outcome.detail = "caught", f"{failed} ({why})"
                return outcome
            outcome.status = "survived"
            outcome.detail = f"{count} tests passed"
            if self.args.sanitize_bounds and site.bounds and not self.in_place:
                self.prepare_sanitized()
                builds.append(self.sanitized)
                sanitized_objects = [] if header else self.sanitized.objects_of(site.path)
                for obj in sanitized_objects:
                    if (self.sanitized.folder / obj).exists():
                        saved[(self.sanitized.folder, obj)] = (self.sanitized.folder / obj).read_bytes()
                    else:
                        # Built from the mutant: removed afterwards, so that
                        # the next build compiles the original.
                        fresh.append(self.sanitized.folder / obj)
                tests = self.reaching(self.sanitized, site.path, sanitized_objects)
                failed, why, count = self.run_tests(self.sanitized, tests, SANITIZER_ENV)
                outcome.sanitized = True
                outcome.tests_run += count
                if failed:
                    outcome.status, outcome.detail = "caught", f"{failed} ({why}, sanitized)"
            return outcome
        finally:
            outcome.seconds = time.monotonic() - started
            put_back(path, original, stat, saved)
            for obj in fresh:
                obj.unlink(missing_ok=True)
            IN_FLIGHT.pop(self.number, None)
            if self.in_place and self.linked:
                # The checkout's build is left as it was: programs relinked.
                self.release.build(*sorted(self.linked))


def first_error(output):
    for line in output.splitlines():
        if "error:" in line:
            return line.split("error:", 1)[1].strip()[:120]
    return "build failed"


# --------------------------------------------------------------------------

def parse_mutant(wanted, all_sites, texts):
    """FILE:LINE:COLUMN[:N] names a site (the Nth at that place, from 1);
    FILE~BEFORE~AFTER[~N] the one that turns line BEFORE into AFTER (spaces
    at either end ignored; the Nth such line of the file), wherever it is."""
    if "~" in wanted:
        path, before, after, *nth = wanted.split("~")
        found = []
        for site in all_sites.get(path, []):
            text = texts[path]
            if line_of(text, site.line).strip() == before.strip() and \
                    line_of(mutated_text(text, site), site.line).strip() == after.strip():
                found.append(site)
        if len(found) < (int(nth[0]) if nth else 1):
            sys.exit(f"mutate: no mutation site turns {before!r} into {after!r} in {path}")
        return found[int(nth[0]) - 1 if nth else 0]
    parts = wanted.split(":")
    if len(parts) < 3:
        sys.exit(f"mutate: --mutant wants FILE:LINE:COLUMN[:N], not {wanted!r}")
    path, line, column = parts[0], int(parts[1]), int(parts[2])
    nth = int(parts[3]) if len(parts) > 3 else 1
    matches = [s for s in all_sites.get(path, []) if s.line == line and s.column == column]
    if len(matches) < nth:
        sys.exit(f"mutate: no mutation site {wanted} (see --list)")
    return matches[nth - 1]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    parser.add_argument("files", nargs="*", help="source files or folders to mutate")
    parser.add_argument("--count", type=int, default=100, help="mutants that compile, to test (default 100)")
    parser.add_argument("--seed", type=int, help="the sample's seed (default: drawn and printed)")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1, help="workers (default: processors)")
    parser.add_argument("--work", default=str(ROOT / "build" / "mutate"), help="work folder")
    parser.add_argument("--mutant", action="append", default=[],
                        help="FILE:LINE:COLUMN[:N] or FILE~LINE BEFORE~LINE AFTER, instead of a sample")
    parser.add_argument("--expect", action="append", default=[],
                        help="with --mutant: the status each must get (caught, equivalent, survived)")
    parser.add_argument("--list", action="store_true", help="list the sites and stop")
    parser.add_argument("--sanitize-bounds", action="store_true",
                        help="run survivors that touch bounds again under the sanitizers")
    parser.add_argument("--tests", help="only tests whose names match this expression")
    parser.add_argument("--exclude-tests", help="leave out tests whose names match this expression")
    parser.add_argument("--timeout-factor", type=float, default=5.0, help="time-out as a multiple of a test's time")
    parser.add_argument("--min-timeout", type=float, default=20.0, help="least time-out of a test, in seconds")
    parser.add_argument("--include-tables", action="store_true", help="mutate lines of table data too")
    parser.add_argument("--cmake-option", action="append", default=[], help="extra configure option")
    parser.add_argument("--equivalents", default=str(ROOT / "tests" / "mutation_equivalents.txt"))
    parser.add_argument("--report", help="report file (default: WORK/report-SEED.txt)")
    parser.add_argument("--time-limit", type=float,
                        help="minutes after which no new mutant starts: the sample is then the mutants "
                             "finished, fewer than --count, and the report says so")
    parser.add_argument("--build", help="an existing build folder of this checkout: mutate the checkout's "
                        "own files in place, one at a time, restoring each (one worker; for quick checks)")
    args = parser.parse_args()

    files = source_files(args.files or [re.split("[:~]", s)[0] for s in args.mutant])
    texts = {f: (ROOT / f).read_text() for f in files}
    all_sites = {f: find_sites(f, texts[f], args.include_tables) for f in files}
    if args.list:
        for f in files:
            for s in all_sites[f]:
                print(f"{s.path}:{s.line}:{s.column}  {s.kind:17} {texts[f][s.start:s.end]!r:>12} -> "
                      f"{s.replacement[:40]!r}{'  [bounds]' if s.bounds else ''}")
        print(f"{sum(len(v) for v in all_sites.values())} sites in {len(files)} files")
        return 0

    if args.mutant:
        queue = [parse_mutant(wanted, all_sites, texts) for wanted in args.mutant]
        seed = None
        wanted = len(queue)
    else:
        seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1, 1 << 31)
        pool = [s for f in files for s in all_sites[f]]
        random.Random(seed).shuffle(pool)
        queue = pool
        wanted = args.count
    args.known = load_equivalents(Path(args.equivalents))

    work = Path(args.work).resolve()
    work.mkdir(parents=True, exist_ok=True)
    if shutil.which("ccache") and not args.build:
        # Paths below the work folder count as relative, so that the workers'
        # copies of a file share one cache entry.
        os.environ.setdefault("CCACHE_DIR", str(work / "ccache"))
        os.environ["CCACHE_BASEDIR"] = str(work)
        os.environ.setdefault("CCACHE_MAXSIZE", "2G")
        args.cmake_option = ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache",
                             *args.cmake_option]
    jobs = 1 if args.build else max(1, min(args.jobs, len(queue)))
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, stop)
    print(f"mutate: {sum(len(v) for v in all_sites.values())} sites in {len(files)} files; "
          f"{'seed ' + str(seed) + ', ' if seed is not None else ''}{wanted} mutants wanted; {jobs} workers",
          flush=True)

    started = time.monotonic()
    timings_file = work / "timings.json"
    timings = json.loads(timings_file.read_text()) if timings_file.exists() else {}
    workers = [Worker(k, work, args.cmake_option, args) for k in range(jobs)]
    errors = []

    # One worker after another, each with every processor: with ccache, the
    # later ones find the first one's objects and only link.
    for worker in workers:
        try:
            worker.prepare(os.cpu_count() or 1, timings)
        except Exception as error:  # noqa: BLE001 - reported below
            errors.append(error)
            break
    if errors:
        sys.exit(f"mutate: {errors[0]}")
    print(f"mutate: workers ready after {time.monotonic() - started:.0f} s", flush=True)

    # Times of the tests on the unmutated build, once per tree: they set the
    # time-outs, and a test that fails already would catch every mutant.
    tree_hash = hashlib.sha256(f"{args.tests}|{args.exclude_tests}".encode() + b"".join(
        (ROOT / f).read_bytes() for f in sorted(tracked_files()) if f.endswith(SOURCE_SUFFIXES))).hexdigest()
    if timings.get("__tree__") != tree_hash:
        print("mutate: timing the suite on the unmutated build", flush=True)
        baseline = workers[0]
        broken = []
        pattern = re.compile(args.tests) if args.tests else None
        excluded = re.compile(args.exclude_tests) if args.exclude_tests else None
        for test in baseline.release.tests:
            if not test.programs or (pattern and not pattern.search(test.name)) or \
                    (excluded and excluded.search(test.name)):
                continue
            environment = dict(os.environ)
            environment.update(test.environment)
            began = time.monotonic()
            code, output = run(test.command, cwd=test.directory, timeout=600, env=environment)
            timings[test.name] = round(time.monotonic() - began, 3)
            if code != 0:
                broken.append(test.name)
        timings["__tree__"] = tree_hash
        timings["__broken__"] = broken
        timings_file.write_text(json.dumps(timings, indent=0))
    broken = set(timings.get("__broken__", []))
    if broken:
        print(f"mutate: leaving out tests that fail unmutated: {', '.join(sorted(broken))}", flush=True)
    for worker in workers:
        worker.release.tests = [t for t in worker.release.tests if t.name not in broken]
        for test in worker.release.tests:
            test.seconds = timings.get(test.name, test.seconds)

    lock = threading.Lock()
    results = {}
    next_index = [0]
    compiled = [0]
    stopped_early = [False]

    def enough():
        # The sample is the first `wanted` mutants of the queue that compile,
        # whatever the order the workers finish them in.
        done = sorted(i for i, o in results.items() if o.status != "not compiled")
        return len(done) >= wanted and all(i in results for i in range(done[wanted - 1] + 1))

    deadline = started + 60 * args.time_limit if args.time_limit else None

    def work_loop(worker):
        while True:
            with lock:
                if next_index[0] >= len(queue) or enough():
                    return
                if deadline and time.monotonic() > deadline:
                    stopped_early[0] = True
                    return
                index = next_index[0]
                next_index[0] += 1
            site = queue[index]
            try:
                outcome = worker.try_mutant(site, texts[site.path])
            except Exception as error:  # noqa: BLE001 - the mutant is reported as not tested
                outcome = Outcome(site, "not compiled", f"error: {error}")
            with lock:
                results[index] = outcome
                if outcome.status != "not compiled":
                    compiled[0] += 1
                print(f"  [{compiled[0]:3}/{wanted}] {outcome.status:12} {site.path}:{site.line}  "
                      f"{outcome.before.strip()[:60]!r} -> {outcome.after.strip()[:60]!r}  "
                      f"{outcome.detail[:90]}  ({outcome.seconds:.0f} s)", flush=True)

    threads = [threading.Thread(target=work_loop, args=(w,)) for w in workers]
    for t in threads:
        t.start()
    for t in threads:
        t.join()

    ordered = [results[i] for i in sorted(results)]
    sample, taken = [], 0
    for outcome in ordered:
        if outcome.status == "not compiled":
            continue
        if taken < wanted:
            sample.append(outcome)
            taken += 1
    uncompiled = sum(1 for i, o in results.items() if o.status == "not compiled" and
                     (not sample or i <= max(k for k, v in results.items() if v in sample)))
    caught = [o for o in sample if o.status == "caught"]
    survived = [o for o in sample if o.status == "survived"]
    equivalent = [o for o in sample if o.status == "equivalent"]
    counted = len(sample) - len(equivalent)
    score = 100.0 * len(caught) / counted if counted else 100.0

    lines = []
    command = "scripts/mutate.py " + " ".join(sys.argv[1:])
    lines.append(f"command: {command}")
    if seed is not None:
        lines.append(f"seed: {seed}")
    lines.append(f"files: {len(files)}, sites: {sum(len(v) for v in all_sites.values())}")
    lines.append(f"mutants: {len(sample)} compiled ({uncompiled} drawn that did not compile were left out)"
                 f"{f'; stopped by the time limit of {args.time_limit:g} minutes, {wanted} wanted' if stopped_early[0] and len(sample) < wanted else ''}")
    lines.append(f"caught: {len(caught)}, survived: {len(survived)}, equivalent: {len(equivalent)}")
    lines.append(f"score: {score:.1f}% of the mutants that are not equivalent were caught")
    lines.append(f"time: {time.monotonic() - started:.0f} s with {jobs} workers")
    lines.append("")
    for number, outcome in enumerate(sample, 1):
        s = outcome.site
        lines.append(f"{number:3} {outcome.status:10} {s.path}:{s.line}:{s.column} {s.kind}"
                     f"{' [bounds]' if s.bounds else ''}")
        lines.append(f"      - {outcome.before.strip()}")
        lines.append(f"      + {outcome.after.strip()}")
        lines.append(f"      {outcome.detail}; {outcome.tests_run} tests, {outcome.seconds:.1f} s"
                     f"{', sanitized too' if outcome.sanitized else ''}")
    report = "\n".join(lines) + "\n"
    report_path = Path(args.report) if args.report else work / f"report-{seed if seed is not None else 'mutants'}.txt"
    report_path.write_text(report)
    (report_path.with_suffix(".json")).write_text(json.dumps([
        {"file": o.site.path, "line": o.site.line, "column": o.site.column, "kind": o.site.kind,
         "bounds": o.site.bounds, "status": o.status, "detail": o.detail, "before": o.before.strip(),
         "after": o.after.strip(), "tests": o.tests_run, "seconds": round(o.seconds, 2)} for o in sample], indent=1))
    print()
    print("\n".join(lines[:7]))
    for outcome in survived:
        s = outcome.site
        print(f"  survived: {s.path}:{s.line}  {outcome.before.strip()!r} -> {outcome.after.strip()!r}")
    flaky = sorted(set().union(*(w.flaky for w in workers)))
    if flaky:
        print(f"tests that failed once and passed when run again (not counted as catching): {', '.join(flaky)}")
    print(f"report: {report_path}")

    if args.expect:
        got = [o.status for o in ordered]
        if len(args.expect) != len(got) or any(e != g for e, g in zip(args.expect, got)):
            print(f"mutate: expected {args.expect}, got {got}", file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
