#!/usr/bin/python3
"""Seeds one-line faults into a private copy of the source, one at a time, and
reports which the tests catch.

    scripts/mutation [--layer NAME]... [--fault ID]... [--fault-prefix TEXT]
                     [--write] [--jobs N] [--time-limit SECONDS] [--no-baseline]
                     [--dir DIR]

--fault-prefix keeps the faults whose id begins with TEXT: "--fault-prefix
blind-" runs the set written by someone who read only the product. It
combines with --layer (both must hold) and with --check.

The faults are in tools/mutation/faults.txt, the layers and the tests that
answer for each in tools/mutation/layers.txt. The copy lives in
build-mutation/tree (its build in build-mutation/tree/build, so that ccache,
with base_dir=/work, serves it from the objects of the ordinary build); it is
brought up to date with the working tree on every run, built once, then
rebuilt incrementally after each fault. A fault is:

  killed     a test of its layer failed, crashed or hung (a hang is named);
  survived   every test of its layer passed;
  equivalent every test passed, and the entry says why no test could fail
             ("survives: equivalent: ..."): the program behaves the same, so
             it is no fault and is not counted;
  stale      its original text is not in the file exactly once: the entry
             no longer fits the source and must be rewritten, not counted;
  no build   the copy did not compile with it (-Werror included): the fault
             is not one a developer could commit, so it is not counted.

Before the faults, the tests run once on the unchanged copy (the baseline): a
test that fails there would "catch" every fault, so the run stops. The
baseline's times are the tests' times per layer.

Most of a fault's time is building, not testing: a one-line change relinks
every program of its layer. So a fault builds only the test it runs next, and
the first it runs is the one that caught it last time (the table of
docs/faults.md, and caught-by.txt beside the copy, kept by every run); the
layer's other tests follow, the quick ones one at a time, the slow ones
(mostly waiting on rotctld and the simulators) side by side.
"""

import argparse
import datetime
import os
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", ".."))
HERE = os.path.join(ROOT, "tools", "mutation")


def fail(message):
    sys.exit(f"mutation: {message}")


def parse_layers(path):
    layers = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            # Cells are parted by " | " (a bar between blanks): the test
            # patterns hold bars of their own, never with blanks around.
            cells = [c.strip() for c in re.split(r"\s\|(?=\s|$)", line.rstrip("\n"))]
            if len(cells) != 4:
                fail(f"{path}:{number}: expected 'layer | folders | tests | targets'")
            layers.append({"name": cells[0], "folders": cells[1].split(), "tests": cells[2],
                           "targets": cells[3].split()})
    return layers


def parse_faults(path):
    """Blocks of '[id]' then 'file:', 'was:', 'now:', 'why:' and, for a fault
    known to survive, 'survives:'. The text after 'was: ' and 'now: ' is taken
    exactly, to the end of the line."""
    faults = []
    current = None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            heading = re.fullmatch(r"\[([A-Za-z0-9_.-]+)\]\s*", line)
            if heading:
                current = {"id": heading.group(1), "line": number}
                faults.append(current)
                continue
            key, sep, value = line.partition(": ")
            if current is None or not sep or key not in ("file", "was", "now", "why", "survives"):
                fail(f"{path}:{number}: expected '[id]' or 'file|was|now|why|survives: text'")
            current[key] = value
    ids = set()
    for fault in faults:
        for key in ("file", "was", "now", "why"):
            if key not in fault:
                fail(f"{path}:{fault['line']}: [{fault['id']}] has no '{key}:'")
        if fault["id"] in ids:
            fail(f"{path}:{fault['line']}: [{fault['id']}] appears twice")
        ids.add(fault["id"])
    return faults


def layer_of(path, layers):
    for layer in layers:
        if any(path.startswith(folder) for folder in layer["folders"]):
            return layer["name"]
    return None


def sync_tree(tree):
    """Mirrors the working tree (tracked and new files, not ignored ones) into
    the copy, touching only what differs, so that the copy's build stays
    incremental."""
    listed = subprocess.run(["git", "-C", ROOT, "ls-files", "-co", "--exclude-standard", "-z"],
                            check=True, capture_output=True).stdout.decode().split("\0")
    wanted = {p for p in listed if p and os.path.isfile(os.path.join(ROOT, p))}
    for rel in wanted:
        source, target = os.path.join(ROOT, rel), os.path.join(tree, rel)
        if os.path.isfile(target):
            with open(source, "rb") as a, open(target, "rb") as b:
                if a.read() == b.read():
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        # Stamped now, not with the source's time: an object built from the
        # copy's older text may be newer than the source's last edit.
        shutil.copy(source, target)
    for base, dirs, files in os.walk(tree):
        rel_base = os.path.relpath(base, tree)
        if rel_base == "build" or rel_base.startswith("build" + os.sep):
            dirs[:] = []
            continue
        for name in files:
            rel = os.path.normpath(os.path.join(rel_base, name))
            if rel not in wanted:
                os.remove(os.path.join(base, name))


def run(command, cwd=None, limit=None):
    """Runs a command in its own process group; returns (exit code or None on
    time-out, output, seconds)."""
    start = time.monotonic()
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               start_new_session=True, text=True, errors="replace")
    try:
        output, _ = process.communicate(timeout=limit)
        return process.returncode, output, time.monotonic() - start
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        output, _ = process.communicate()
        return None, output, time.monotonic() - start


def configure(tree, build):
    if os.path.isfile(os.path.join(build, "CMakeCache.txt")):
        return
    # The tools too: some layers answer with a measuring tool's own check
    # (the flux year sweep's short run).
    command = ["cmake", "-S", tree, "-B", build, "-DHELIOTROPE_WERROR=ON", "-DHELIOTROPE_TESTS=ON", "-DHELIOTROPE_TOOLS=ON"]
    if shutil.which("ccache"):
        command.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
    code, output, _ = run(command)
    if code != 0:
        fail("configuring the copy failed:\n" + output)


def listed_tests(build, pattern):
    code, output, _ = run(["ctest", "--test-dir", build, "-N", "-R", pattern])
    if code != 0:
        fail("ctest -N failed:\n" + output)
    return re.findall(r"Test\s+#\d+: (\S+)", output)


def build_targets(build):
    code, output, _ = run(["cmake", "--build", build, "--target", "help"])
    if code != 0:
        fail("cannot list the copy's targets:\n" + output)
    return set(re.findall(r"^\.\.\. (\S+)", output, re.M))


LINE = re.compile(r"Test\s+#\d+: (\S+) \.*\s*(?:\*\*\*)?(.*?)\s+([\d.]+) sec")


def ctest(build, pattern, jobs, limit, stop_on_failure):
    """Returns (results {name: (status, seconds)}, first failing test and its
    status or None, hung overall)."""
    command = ["ctest", "--test-dir", build, "-R", pattern, "-j", str(jobs)]
    if stop_on_failure:
        command.append("--stop-on-failure")
    code, output, _ = run(command, limit=limit)
    results = {}
    first = None
    for name, status, seconds in LINE.findall(output):
        status = status.strip()
        results[name] = (status, float(seconds))
        if status != "Passed" and first is None:
            first = (name, status)
    if code is None:
        return results, first or ("(all)", f"hung past {limit} s"), True
    if code != 0 and first is None:
        first = ("(ctest)", "failed: " + output.strip().splitlines()[-1] if output.strip() else "failed")
    return results, first, False


# A test whose baseline took longer than this mostly waits (on rotctld, the
# simulators, a dwell), so such tests run side by side.
SLOW_SECONDS = 5.0


def read_caught_by(docs_table, cache):
    """The test that caught each fault last time: from the committed table
    (docs/faults.md), then from the run's own record, which is newer."""
    caught = {}
    if os.path.isfile(docs_table):
        row = re.compile(r"^\| `([^`]+)` \|.*\| killed \| (\S+)")
        with open(docs_table, encoding="utf-8") as f:
            for line in f:
                match = row.match(line)
                if match:
                    caught[match.group(1)] = match.group(2)
    if os.path.isfile(cache):
        with open(cache, encoding="utf-8") as f:
            for line in f:
                fault, _, test = line.strip().partition(" ")
                if test:
                    caught[fault] = test
    return caught


def run_until_caught(names, seconds_of, limit, first, build_for, run_tests):
    """Runs the fault's tests until one fails: the one that caught it last
    time first, then the quick ones one at a time (the quickest first), then
    the slow ones side by side. Each test's program is built just before it
    runs (build_for returns False if the compiler refused the fault).
    Returns (the failing test and its status or None, hung), or "no build"."""
    deadline = time.monotonic() + limit
    rest = sorted((n for n in names if n != first), key=lambda n: seconds_of.get(n, 0.0))
    steps = [[first]] if first in names else []
    steps += [[n] for n in rest if seconds_of.get(n, 0.0) <= SLOW_SECONDS]
    slow = [n for n in rest if seconds_of.get(n, 0.0) > SLOW_SECONDS]
    if slow:
        steps.append(slow)
    for group in steps:
        if not build_for(group):
            return "no build"
        left = deadline - time.monotonic()
        if left <= 0:
            return (group[0], f"hung past {limit} s"), True
        results, failed, hung = run_tests(group, left)
        if failed is not None:
            return ((group[0] if len(group) == 1 else "(one of " + ", ".join(group) + ")", failed[1])
                    if failed[0].startswith("(") else failed), hung
        missing = [n for n in group if n not in results]
        if missing:
            return (missing[0], "did not run"), False
    return None, False


def minutes(seconds):
    return f"{seconds / 60:.0f} min" if seconds >= 90 else f"{seconds:.0f} s"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--layer", action="append", default=[], help="only the faults of this layer (repeatable)")
    parser.add_argument("--fault", action="append", default=[], help="only this fault (repeatable)")
    parser.add_argument("--fault-prefix", default="",
                        help="only the faults whose id begins with this (e.g. blind-)")
    parser.add_argument("--faults", default=os.path.join(HERE, "faults.txt"))
    parser.add_argument("--layers", default=os.path.join(HERE, "layers.txt"))
    parser.add_argument("--dir", default=os.path.join(ROOT, "build-mutation"),
                        help="where the private copy and its build live")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--time-limit", type=int, default=300,
                        help="seconds the tests of one fault may take; past it the fault counts as killed by a hang")
    parser.add_argument("--no-baseline", action="store_true", help="skip the run on the unchanged copy")
    parser.add_argument("--write", nargs="?", const=os.path.join(ROOT, "docs", "faults.md"),
                        help="also write the table as Markdown (default docs/faults.md)")
    parser.add_argument("--check", action="store_true",
                        help="only check that every entry still fits the source; build and run nothing")
    args = parser.parse_args()

    layers = parse_layers(args.layers)
    by_name = {layer["name"]: layer for layer in layers}
    faults = parse_faults(args.faults)
    for fault in faults:
        fault["layer"] = layer_of(fault["file"], layers)
        if fault["layer"] is None:
            fail(f"[{fault['id']}] {fault['file']} is in no layer of {args.layers}")
    for name in args.layer:
        if name not in by_name:
            fail(f"no layer {name}; layers: {', '.join(by_name)}")
    known = {fault["id"] for fault in faults}
    for wanted in args.fault:
        if wanted not in known:
            fail(f"no fault [{wanted}] in {args.faults}")
    chosen = [f for f in faults if (not args.layer or f["layer"] in args.layer)
              and (not args.fault or f["id"] in args.fault) and f["id"].startswith(args.fault_prefix)]
    # Faults of one layer together: the same programs are rebuilt in turn.
    order = [layer["name"] for layer in layers]
    chosen.sort(key=lambda f: order.index(f["layer"]))
    if not chosen:
        fail("no fault chosen")

    tree = os.path.join(os.path.abspath(args.dir), "tree")
    build = os.path.join(tree, "build")
    if not args.check:
        os.makedirs(tree, exist_ok=True)
        print(f"==> bringing the copy in {tree} up to date", file=sys.stderr)
        sync_tree(tree)
    source_of = ROOT if args.check else tree
    stale = 0
    for fault in chosen:
        path = os.path.join(source_of, fault["file"])
        count = 0
        if os.path.isfile(path):  # a moved file leaves its entries stale
            with open(path, encoding="utf-8") as f:
                count = f.read().count(fault["was"])
        fault["count"] = count
        stale += count != 1
    if args.check:
        for fault in chosen:
            if fault["count"] != 1:
                print(f"stale: [{fault['id']}] {fault['file']}: original text found {fault['count']} times")
        print(f"{len(chosen) - stale} of {len(chosen)} entries fit the source")
        return 1 if stale else 0

    configure(tree, build)
    targets_known = build_targets(build)
    layer_names = sorted({f["layer"] for f in chosen}, key=order.index)
    tests = {}
    targets = {}
    for name in layer_names:
        layer = by_name[name]
        tests[name] = listed_tests(build, layer["tests"])
        if not tests[name]:
            fail(f"layer {name}: no test matches {layer['tests']}")
        targets[name] = sorted({t for t in tests[name] if t in targets_known} | set(layer["targets"]))

    def build_now(wanted):
        return run(["cmake", "--build", build, "-j", str(args.jobs), "--target", *wanted])

    def rebuild(names):
        return build_now(sorted({t for n in names for t in targets[n]}))

    def targets_of(test, layer):
        # A test's program depends on the programs it starts; a test that is
        # a command of its own (a script, a table's comparison) needs the
        # layer's extra targets.
        return [test] if test in targets_known else by_name[layer]["targets"]

    cache = os.path.join(os.path.abspath(args.dir), "caught-by.txt")
    caught_before = read_caught_by(os.path.join(ROOT, "docs", "faults.md"), cache)

    print(f"==> building the tests of {', '.join(layer_names)}", file=sys.stderr)
    code, output, seconds = rebuild(layer_names)
    if code != 0:
        fail("the unchanged copy does not build:\n" + output[-4000:])
    times = {}
    seconds_of = {}
    if not args.no_baseline:
        union = "^(" + "|".join(re.escape(t) for n in layer_names for t in tests[n]) + ")$"
        print(f"==> baseline: the tests on the unchanged copy", file=sys.stderr)
        results, first, hung = ctest(build, union, args.jobs, max(args.time_limit, 600), False)
        if first is not None:
            fail(f"the unchanged copy fails {first[0]} ({first[1]}): fix that first, or every fault would count as caught")
        seconds_of = {name: result[1] for name, result in results.items()}
        for name in layer_names:
            times[name] = sum(results.get(t, ("", 0.0))[1] for t in tests[name])
            print(f"    {name}: {len(tests[name])} tests, {times[name]:.1f} s", file=sys.stderr)

    started = time.monotonic()
    for index, fault in enumerate(chosen, 1):
        path = os.path.join(tree, fault["file"])
        t0 = time.monotonic()
        if fault["count"] != 1:
            fault["result"], fault["by"] = "stale", f"original text found {fault['count']} times"
        else:
            with open(path, encoding="utf-8") as f:
                original = f.read()
            stat = os.stat(path)
            try:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(original.replace(fault["was"], fault["now"], 1))
                built = set()

                def build_for(group, layer=fault["layer"]):
                    wanted = sorted({t for n in group for t in targets_of(n, layer)} - built)
                    if wanted:
                        if build_now(wanted)[0] != 0:
                            return False
                        built.update(wanted)
                    return True

                def run_tests(group, left):
                    pattern = "^(" + "|".join(re.escape(n) for n in group) + ")$"
                    return ctest(build, pattern, args.jobs, left, True)

                outcome = run_until_caught(tests[fault["layer"]], seconds_of, args.time_limit,
                                           caught_before.get(fault["id"]), build_for, run_tests)
                if outcome == "no build":
                    fault["result"], fault["by"] = "no build", "the compiler refused it"
                else:
                    first, hung = outcome
                    if first is None and fault.get("survives", "").startswith("equivalent"):
                        fault["result"], fault["by"] = "equivalent", ""
                    elif first is None:
                        fault["result"], fault["by"] = "survived", ""
                    else:
                        fault["result"] = "killed"
                        status = first[1]
                        hang = hung or "Timeout" in status
                        fault["by"] = first[0] + (" (hang: " + status + ")" if hang else
                                                  "" if status == "Failed" else f" ({status})")
                        if not first[0].startswith("("):
                            with open(cache, "a", encoding="utf-8") as f:
                                f.write(f"{fault['id']} {first[0]}\n")
            finally:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(original)
                os.utime(path, ns=(stat.st_atime_ns, time.time_ns()))
        spent = time.monotonic() - t0
        elapsed = time.monotonic() - started
        left = elapsed / index * (len(chosen) - index)
        by = f" by {fault['by']}" if fault["by"] else ""
        print(f"[{index}/{len(chosen)}] {fault['id']} ({fault['layer']}): {fault['result']}{by}, "
              f"{spent:.0f} s; about {minutes(left)} left", file=sys.stderr, flush=True)
    # Put the copy back as it was, so that the next run starts from a build
    # of the unchanged source.
    rebuild(layer_names)
    print(f"==> {len(chosen)} faults in {minutes(time.monotonic() - started)}", file=sys.stderr)

    report = render(chosen, layer_names, tests, times)
    print(report)
    if args.write:
        with open(args.write, "w", encoding="utf-8") as f:
            f.write(report)
        print(f"==> written to {os.path.relpath(args.write, ROOT)}", file=sys.stderr)
    return 0


def render(chosen, layer_names, tests, times):
    today = datetime.date.today().isoformat()
    lines = [f"# Seeded faults, {today}", "",
             "Made by `scripts/mutation` from `tools/mutation/faults.txt`: each fault applied alone to a "
             "copy of the source, the copy rebuilt, the tests of its layer run (`tools/mutation/layers.txt`). "
             "Killed: a test failed, crashed or hung. Equivalent: every test passed and the program behaves "
             "the same with it (the row says why), so it is no fault. Stale: the fault's original text is no "
             "longer in the file exactly once. No build: the compiler refused it. None of these three counts.", "",
             "| Layer | Faults | Killed | Survived | Equivalent, stale or no build | Caught | Tests' time (s) |",
             "|---|---|---|---|---|---|---|"]
    total_killed = total_counted = 0
    for name in layer_names:
        mine = [f for f in chosen if f["layer"] == name]
        killed = sum(f["result"] == "killed" for f in mine)
        survived = sum(f["result"] == "survived" for f in mine)
        other = len(mine) - killed - survived
        counted = killed + survived
        total_killed += killed
        total_counted += counted
        share = f"{100 * killed / counted:.0f} %" if counted else "—"
        seconds = f"{times[name]:.1f}" if name in times else "—"
        lines.append(f"| {name} | {len(mine)} | {killed} | {survived} | {other} | {share} | {seconds} |")
    share = f"{100 * total_killed / total_counted:.1f} %" if total_counted else "—"
    lines += ["", f"**{len(chosen)} faults: {total_killed} killed, {total_counted - total_killed} survived "
              f"({share} caught), {len(chosen) - total_counted} equivalent, stale or not built.**", "",
              "| Fault | Layer | File | What it stands for | Result | Caught by, or why it survives |",
              "|---|---|---|---|---|---|"]
    for f in chosen:
        why = f["by"]
        if f["result"] in ("survived", "equivalent"):
            why = f.get("survives", "**unexplained: needs a test**")
        lines.append(f"| `{f['id']}` | {f['layer']} | `{f['file']}` | {f['why']} | {f['result']} | {why} |")
    return "\n".join(lines) + "\n"


if __name__ == "__main__":
    sys.exit(main())
