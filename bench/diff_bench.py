#!/usr/bin/env python3
"""Peak memory and time of `quillmap -diff` on two large exports.

Writes two exports of the JSON schema's shape ([files] json=) with the proportions of a
whole-Linux-tree export (about 12 calls a function, paths of about 50 characters, call texts
that name an argument), the second one a changed copy of the first (a function in 50 renamed,
a call in 40 with another argument), then runs `quillmap -diff OLD NEW -o diff.dot` under
/usr/bin/time -v and prints the export sizes, the wall time and the peak memory.

    bench/diff_bench.py [--functions N] [--quillmap PATH] [--work DIR]
"""
import argparse
import os
import random
import re
import subprocess
import sys


def write_export(path, functions, calls_per_function, changed):
    rng = random.Random(7)
    with open(path, "w", buffering=1 << 22) as out:
        out.write('{"version":1,"sources":[],"functions":[\n')
        names = []
        for i in range(functions):
            name = f"drv{i % 997}_func_{i}"
            if changed and i % 50 == 0:
                name += "_v2"
            names.append(name)
            folder = f"/usr/src/linux-source-6.1/drivers/sub{i % 311}/part{i % 17}"
            out.write(('' if i == 0 else ',\n') +
                      f'{{"file":"{folder}/file{i // 8}.c","header":"int {name}(void)",'
                      f'"line":{10 + i % 900},"module":null,"name":"{name}"}}')
        out.write('],"calls":[\n')
        first = True
        for i in range(functions):
            folder = f"/usr/src/linux-source-6.1/drivers/sub{i % 311}/part{i % 17}"
            for c in range(calls_per_function):
                callee = names[rng.randrange(functions)] if c % 3 else f"printk_{c}"
                arg = c if not (changed and (i + c) % 40 == 0) else c + 1
                text = f"{callee}(ARG_{arg})"
                out.write(('' if first else ',\n') +
                          f'{{"arguments":["ARG_{arg}","dev"],"callText":"{text}",'
                          f'"callee":"{callee}","caller":"{names[i]}","callerIndex":{i},'
                          f'"edgeStyle":"","file":"{folder}/file{i // 8}.c","line":{20 + c}}}')
                first = False
        out.write('],"modules":[],"moduleCalls":[],"violations":[],"errors":[]}\n')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--functions", type=int, default=400000)
    parser.add_argument("--calls", type=int, default=12, help="calls a function")
    parser.add_argument("--quillmap", default="build/quillmap")
    parser.add_argument("--work", default="/var/tmp/quillmap-bench/diff")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    old = os.path.join(args.work, "old.json")
    new = os.path.join(args.work, "new.json")
    stamp = os.path.join(args.work, f"made-{args.functions}-{args.calls}")
    if not os.path.exists(stamp):
        write_export(old, args.functions, args.calls, False)
        write_export(new, args.functions, args.calls, True)
        open(stamp, "w").close()
    run = subprocess.run(["/usr/bin/time", "-v", args.quillmap, "-diff", old, new, "-o",
                          os.path.join(args.work, "diff.dot")],
                         capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"diff_bench: quillmap failed ({run.returncode}): {run.stderr[-2000:]}")
    wall = re.search(r"Elapsed \(wall clock\) time.*: (\S+)", run.stderr).group(1)
    peak = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", run.stderr).group(1))
    print(f"exports: {os.path.getsize(old) / 1e6:.0f} MB and {os.path.getsize(new) / 1e6:.0f} MB, "
          f"{args.functions} functions, {args.functions * args.calls} calls each")
    print(f"summary: {run.stdout.strip()}")
    print(f"wall {wall}, peak {peak / 1024:.0f} MiB")


if __name__ == "__main__":
    main()
