#!/usr/bin/env python3
"""scaling_bench: how each stage of a run grows with its input.

    scaling_bench.py [--quillmap build/quillmap] [--runs 3] [--scale 1.0] [--work DIR] [--cpu]

Generates trees at 1x, 2x, 4x and 8x along one dimension at a time (sources, selected
definitions per source, modules, calls per body, and two shapes that once cost quadratic time in
the module scan: a name defined again and again in bodies that never close, and column-0 "{"
lines), runs the program on configurations that write one stage's output each (call graph DOT,
CSV, module graph with its log), and prints a Markdown table of the best of --runs wall times
and the ratio of each doubling. Linear costs give ratios near 2; the target is at most 2.3.
With --cpu the times are the program's CPU time (user + system) instead of its wall time: on
sub-second runs that is less moved by the disk and the scheduler.
"""
import argparse
import os
import resource
import shutil
import subprocess
import sys
import time

BASE = {"sources": 400, "definitions": 25, "modules": 8, "calls": 4}
STAGES = {
    "call graph DOT": "[files]\ndot=out/calls.dot\n",
    "CSV": "[files]\ncsv=out/calls.csv\n",
    "module graph": "[files]\n",
}


def write_tree(root, sources, definitions, modules, calls):
    """Sources of `definitions` selected functions each, every body calling `calls` of them.

    The names have a fixed width (Fsel_000012): the module scan finds a name inside a longer one
    (init in reinit), so with plain numbers (Fsel_1 in Fsel_12) every tenfold more names would
    add a finding to each call, and the module graph's output, not only its input, would grow
    faster than the tree."""
    os.makedirs(os.path.join(root, "src"))
    os.makedirs(os.path.join(root, "out"))
    total = sources * definitions
    names = []
    for s in range(sources):
        lines = []
        for d in range(definitions):
            n = s * definitions + d
            lines.append("int Fsel_%06d(int a)\n{\n" % n)
            for c in range(calls):
                lines.append("  Fsel_%06d(a + %d);\n" % ((n * 7 + c * 13 + 1) % total, c))
            lines.append("}\n\n")
        name = "src/f%d.c" % s
        with open(os.path.join(root, name), "w") as f:
            f.write("".join(lines))
        names.append(name)
    return names


def write_hostile(root, shape, count):
    """One module file of `count` repeated definitions or column-0 braces, one small module."""
    os.makedirs(os.path.join(root, "src"))
    os.makedirs(os.path.join(root, "out"))
    with open(os.path.join(root, "src/a.c"), "w") as f:
        if shape == "repeated definitions":
            f.write("void f(void)\n{\n  g();\n" * count)
        else:
            f.write("void h(void)\n" + "{\n" * count + "  g();\n")
    with open(os.path.join(root, "src/b.c"), "w") as f:
        f.write("void g(void)\n{\n  f();\n  h();\n}\n")
    return ["src/a.c", "src/b.c"]


def config(files, modules, stage):
    text = STAGES[stage]
    if stage != "module graph":
        text += "".join("file%d=%s\n" % (i, name) for i, name in enumerate(files))
    text += "[calls]\n0=Fsel_\n"
    if stage == "module graph":
        text += "[modules]\ndot=out/mod.dot\nlog=out/mod.log\n"
        per = [[] for _ in range(modules)]
        for i, name in enumerate(files):
            per[i % modules].append(name)
        for m in range(modules):
            text += "mod_%d=m%d\n" % (m, m)
            text += "".join("mod_%d_file_%d=%s\n" % (m, k, n) for k, n in enumerate(per[m]))
    return text


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def best_time(quillmap, cfg, cwd, runs, cpu=False):
    # The tree was just written: its pages go to the disk first, and one run that is not timed
    # reads it into the cache, so that neither the write-back nor the first reading lands in a
    # timed run (on sub-second runs either made single doublings look like 1.4x or 3x).
    os.sync()
    subprocess.run([quillmap, "-cfg", cfg], cwd=cwd, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    best = None
    for _ in range(runs):
        start, start_cpu = time.perf_counter(), children_cpu()
        result = subprocess.run([quillmap, "-cfg", cfg], cwd=cwd, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE)
        elapsed = children_cpu() - start_cpu if cpu else time.perf_counter() - start
        if result.returncode not in (0, 1):
            sys.exit("quillmap ended with %d on %s: %s" % (result.returncode, cfg,
                                                          result.stderr.decode()))
        best = elapsed if best is None else min(best, elapsed)
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillmap", default="build/quillmap")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--scale", type=float, default=1.0)
    parser.add_argument("--work", default="/tmp/quillmap-scaling")
    parser.add_argument("--cpu", action="store_true", help="time CPU (user + system), not wall")
    args = parser.parse_args()
    quillmap = os.path.abspath(args.quillmap)
    base = {key: max(1, int(value * (args.scale if key != "modules" else 1)))
            for key, value in BASE.items()}

    rows = []
    for dimension in ["sources", "definitions", "modules", "calls"]:
        for stage in STAGES:
            if dimension == "modules" and stage != "module graph":
                continue
            times = []
            for factor in (1, 2, 4, 8):
                sizes = dict(base)
                sizes[dimension] *= factor
                root = os.path.join(args.work, "tree")
                shutil.rmtree(root, ignore_errors=True)
                files = write_tree(root, sizes["sources"], sizes["definitions"], sizes["modules"],
                                   sizes["calls"])
                with open(os.path.join(root, "scan.cfg"), "w") as f:
                    f.write(config(files, sizes["modules"], stage))
                seconds = best_time(quillmap, "scan.cfg", root, args.runs, args.cpu)
                times.append((sizes[dimension], seconds))
            rows.append((dimension, stage, times))
    for shape, count in [("repeated definitions", 50000), ("column-0 braces", 100000)]:
        times = []
        for factor in (1, 2, 4, 8):
            root = os.path.join(args.work, "tree")
            shutil.rmtree(root, ignore_errors=True)
            files = write_hostile(root, shape, int(count * args.scale) * factor)
            with open(os.path.join(root, "scan.cfg"), "w") as f:
                f.write(config(files, 2, "module graph"))
            times.append((int(count * args.scale) * factor,
                          best_time(quillmap, "scan.cfg", root, args.runs, args.cpu)))
        rows.append((shape, "module graph", times))
    shutil.rmtree(args.work, ignore_errors=True)

    print("| dimension | stage | 1x | 2x | 4x | 8x | doublings | worst |")
    print("|---|---|---|---|---|---|---|---|")
    for dimension, stage, times in rows:
        ratios = [times[i + 1][1] / times[i][1] for i in range(3)]
        cells = " | ".join("%d: %.3f s" % (size, seconds) for size, seconds in times)
        print("| %s | %s | %s | %s | %.2fx |" % (
            dimension, stage, cells, ", ".join("%.2f" % r for r in ratios), max(ratios)))


if __name__ == "__main__":
    main()
