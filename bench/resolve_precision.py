#!/usr/bin/env python3
"""resolve_precision.py EXPORT.json [VIA...]: the precision figures of a resolved JSON export.

Targets per dispatch site (a site is one caller, line and dispatch expression): median, 90th
percentile, largest; the share of pointer edges whose target's parameter count differs from the
dispatch's argument count (provably false; variadic targets and headers whose list cannot be
read are left out); and for each VIA given (for example file->f_op->read_iter) the number of
sites and of distinct targets, with the first few."""
import json
import re
import statistics
import sys
from collections import defaultdict


def parameter_count(header, name):
    """The number of parameters in a header, or None when it cannot tell (variadic, unreadable)."""
    m = re.search(r'\b' + re.escape(name) + r'\s*\(', header)
    if not m:
        return None
    depth, start, params = 0, m.end(), []
    i = start
    while i < len(header):
        c = header[i]
        if c == '(':
            depth += 1
        elif c == ')':
            if depth == 0:
                params.append(header[start:i])
                break
            depth -= 1
        elif c == ',' and depth == 0:
            params.append(header[start:i])
            start = i + 1
        i += 1
    else:
        return None
    params = [p.strip() for p in params]
    if params == [''] or params == ['void']:
        return 0
    if any(p == '...' for p in params):
        return None
    return len(params)


def main():
    with open(sys.argv[1], encoding='utf-8') as f:
        d = json.load(f)
    functions = d['functions']
    sites = defaultdict(set)
    edges = mismatched = counted = unbound = 0
    by_via = defaultdict(lambda: [set(), set()])
    for c in d['calls']:
        if c.get('kind') != 'pointer':
            continue
        key = (c['callerIndex'], c['line'], c['via'])
        k = c['calleeIndex']
        sites[key]  # a site without a target counts with 0
        by_via[c['via']][0].add(key)
        if k is None:
            unbound += 1
            continue
        sites[key].add(k)
        by_via[c['via']][1].add(k)
        edges += 1
        target = functions[k]
        n = parameter_count(target['header'], target['name'])
        if n is None:
            continue
        counted += 1
        if n != len(c['arguments']):
            mismatched += 1
    counts = sorted(len(t) for t in sites.values())
    if not counts:
        print('no pointer calls')
        return
    p90 = counts[min(len(counts) - 1, int(0.9 * len(counts)))]
    print(f'dispatch sites: {len(counts)} ({unbound} without a target); pointer edges: {edges}')
    print(f'targets per site: median {statistics.median(counts):g}, 90th percentile {p90}, '
          f'largest {counts[-1]}')
    share = 100.0 * mismatched / counted if counted else 0.0
    print(f'parameter count differs from argument count: {mismatched} of {counted} edges '
          f'with a readable target header ({share:.2f} %)')
    for via in sys.argv[2:]:
        s, t = by_via.get(via, (set(), set()))
        names = sorted(functions[k]['node'] if 'node' in functions[k] else functions[k]['name']
                       for k in t)
        print(f'{via}: {len(s)} sites, {len(t)} targets: {", ".join(names[:12])}'
              f'{" ..." if len(names) > 12 else ""}')


main()
