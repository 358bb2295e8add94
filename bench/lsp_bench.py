#!/usr/bin/env python3
"""Times quillmap -lsp on a source tree, as an editor would use it, once for each configuration
asked for (the call graph without resolution, and with it): the batch scan and the server read
the same configuration file, so that like is compared with like.

- the first answer: from the server's start to the answer of a request sent right after
  `initialized` (it waits for the whole scan), against the batch scan (-cfg of the same
  configuration: C-aware, `**/*.c`, `[calls] 0=*`, DOT and CSV written; the server writes
  neither);
- call hierarchy requests (prepare, incoming, outgoing) on one random function of each of
  SAMPLES random files, workspace/symbol on their names' prefixes, document symbols: p50/p95;
- incoming calls of a few much-called names;
- a didChange of one file, to the answer of the next request (its document symbols) that
  shows it;
- the peak memory of the server (VmHWM) and of the batch scan (/usr/bin/time).

    bench/lsp_bench.py BUILD/quillmap TREE [--samples N] [--seed S] [--configs plain,resolved]

The tree is only read; the configuration and the batch scan's outputs go to a temporary folder.
"""
import argparse
import json
import os
import random
import re
import subprocess
import sys
import tempfile
import time

HOT_NAMES = ["kfree", "mutex_lock", "_printk", "schedule", "copy_process", "vfs_read"]


class Client:
    def __init__(self, binary):
        self.start = time.monotonic()
        self.proc = subprocess.Popen([binary, "-lsp"], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE)
        self.next_id = 1
        self.answers = {}

    def send(self, message):
        body = json.dumps(message).encode()
        self.proc.stdin.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)
        self.proc.stdin.flush()

    def read(self):
        header = b""
        while not header.endswith(b"\r\n\r\n"):
            byte = self.proc.stdout.read(1)
            if not byte:
                raise RuntimeError("the server closed its output")
            header += byte
        self.header_at = time.monotonic()  # the server has written its answer's text
        length = int(re.search(rb"Content-Length: (\d+)", header).group(1))
        return json.loads(self.proc.stdout.read(length))

    def notify(self, method, params):
        self.send({"jsonrpc": "2.0", "method": method, "params": params})

    def ask(self, method, params):
        """The result and the seconds from sending to the answer."""
        request_id = self.next_id
        self.next_id += 1
        sent = time.monotonic()
        self.send({"jsonrpc": "2.0", "id": request_id, "method": method, "params": params})
        while request_id not in self.answers:
            message = self.read()
            if "id" in message and "method" in message:  # a request of the server
                self.send({"jsonrpc": "2.0", "id": message["id"], "result": None})
            elif "id" in message:
                self.answers[message["id"]] = message
        answer = self.answers.pop(request_id)
        if "error" in answer:
            raise RuntimeError(f"{method}: {answer['error']}")
        return answer["result"], time.monotonic() - sent

    def peak_memory_kb(self):
        with open(f"/proc/{self.proc.pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
        return 0

    def close(self):
        self.ask("shutdown", None)
        self.notify("exit", None)
        return self.proc.wait(timeout=60)


def uri(path):
    return "file://" + path


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def figures(values):
    ms = [v * 1000 for v in values]
    return f"p50 {percentile(ms, 0.5):.1f} ms, p95 {percentile(ms, 0.95):.1f} ms, max {max(ms):.1f} ms (n={len(ms)})"


CONFIGS = {"plain": "", "resolved": "resolve=yes\n"}


def write_config(work, tree, config):
    cfg = os.path.join(work, f"{config}.cfg")
    with open(cfg, "w") as out:
        out.write(f"[scan]\nsyntax=c\n{CONFIGS[config]}[files]\ndot={config}.dot\n"
                  f"csv={config}.csv\nfile0={tree}/**/*.c\n[calls]\n0=*\n")
    return cfg


def batch_scan(binary, cfg):
    timing = cfg + ".time"
    subprocess.run(["/usr/bin/time", "-f", "%e %M", "-o", timing, binary, "-cfg", cfg],
                   stdout=subprocess.DEVNULL, check=False)
    seconds, peak = open(timing).read().split()[-2:]
    return float(seconds), int(peak)


def name_position(path, line, name):
    with open(path, encoding="utf-8", errors="surrogateescape") as source:
        lines = source.read().split("\n")
    for number in range(line, min(line + 5, len(lines))):
        match = re.search(r"\b%s\b" % re.escape(name), lines[number])
        if match:
            return number, match.start()
    return line, 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary")
    parser.add_argument("tree")
    parser.add_argument("--samples", type=int, default=200)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--configs", default="plain,resolved")
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    tree = os.path.abspath(args.tree)
    print(f"load before: {os.getloadavg()[0]:.1f}")
    with tempfile.TemporaryDirectory() as work:
        for config in args.configs.split(","):
            print(f"== configuration: {config} ({CONFIGS[config].strip() or 'no resolution'})")
            bench_config(binary, tree, write_config(work, tree, config), args)
            print(f"load after: {os.getloadavg()[0]:.1f}")


def bench_config(binary, tree, cfg, args):
    rng = random.Random(args.seed)
    batch_seconds, batch_peak = batch_scan(binary, cfg)
    print(f"batch scan of the call graph: {batch_seconds:.2f} s, peak {batch_peak / 1024:.0f} MB")

    files = []
    for folder, _, names in os.walk(tree):
        files += [os.path.join(folder, n) for n in names if n.endswith(".c")]
    files.sort()
    first_file = rng.choice(files)

    client = Client(binary)
    client.ask("initialize", {"processId": os.getpid(), "rootUri": uri(tree),
                              "initializationOptions": {"configuration": cfg},
                              "capabilities": {"window": {"workDoneProgress": True}}})
    client.notify("initialized", {})
    client.ask("textDocument/documentSymbol", {"textDocument": {"uri": uri(first_file)}})
    first_answer = time.monotonic() - client.start
    print(f"first answer (a request sent at initialized): {first_answer:.2f} s "
          f"({first_answer / batch_seconds:.2f}x the batch scan)")

    prepare, incoming, outgoing, outline, symbols = [], [], [], [], []
    for path in rng.sample(files, min(args.samples, len(files))):
        result, seconds = client.ask("textDocument/documentSymbol",
                                     {"textDocument": {"uri": uri(path)}})
        outline.append(seconds)
        if not result:
            continue
        symbol = rng.choice(result)
        position = symbol["selectionRange"]["start"]
        items, seconds = client.ask("textDocument/prepareCallHierarchy",
                                    {"textDocument": {"uri": uri(path)}, "position": position})
        prepare.append(seconds)
        if not items:
            continue
        _, seconds = client.ask("callHierarchy/incomingCalls", {"item": items[0]})
        incoming.append(seconds)
        _, seconds = client.ask("callHierarchy/outgoingCalls", {"item": items[0]})
        outgoing.append(seconds)
        _, seconds = client.ask("workspace/symbol", {"query": symbol["name"][:4]})
        symbols.append(seconds)
    print(f"prepareCallHierarchy: {figures(prepare)}")
    print(f"incomingCalls: {figures(incoming)}")
    print(f"outgoingCalls: {figures(outgoing)}")
    print(f"workspace/symbol (4-letter prefixes): {figures(symbols)}")
    print(f"documentSymbol: {figures(outline)}")

    for name in HOT_NAMES:
        found, _ = client.ask("workspace/symbol", {"query": name})
        exact = [s for s in found if s["name"] == name]
        if not exact:
            continue
        location = exact[0]["location"]
        path = location["uri"][len("file://"):]
        line, column = name_position(path, location["range"]["start"]["line"], name)
        items, _ = client.ask("textDocument/prepareCallHierarchy",
                              {"textDocument": {"uri": location["uri"]},
                               "position": {"line": line, "character": column}})
        if not items:
            continue
        sent = time.monotonic()
        calls, seconds = client.ask("callHierarchy/incomingCalls", {"item": items[0]})
        # Until the answer's header came: the server's part, without this client's parse.
        served = client.header_at - sent
        sites = sum(len(c["fromRanges"]) for c in calls)
        print(f"incomingCalls of {name}: {seconds * 1000:.0f} ms, its header after "
              f"{served * 1000:.0f} ms ({len(calls)} callers, {sites} call sites)")

    edited = rng.choice(files)
    text = open(edited, encoding="utf-8", errors="surrogateescape").read()
    client.notify("textDocument/didOpen", {"textDocument": {
        "uri": uri(edited), "languageId": "c", "version": 1, "text": text}})
    changes = []
    for version in range(2, 12):
        probe = f"lsp_bench_probe_{version}"
        sent = time.monotonic()
        client.notify("textDocument/didChange", {
            "textDocument": {"uri": uri(edited), "version": version},
            "contentChanges": [{"text": text + f"\nvoid {probe}(void)\n{{\n  {probe}_callee();\n}}\n"}]})
        found, _ = client.ask("textDocument/documentSymbol", {"textDocument": {"uri": uri(edited)}})
        if not any(s["name"] == probe for s in found):
            raise RuntimeError("the change was not seen by the next request")
        changes.append(time.monotonic() - sent)
    print(f"didChange of {os.path.relpath(edited, tree)} ({len(text)} bytes) to the next "
          f"answer that shows it: {figures(changes)}")

    peak = client.peak_memory_kb()
    print(f"server peak memory: {peak / 1024:.0f} MB ({peak / batch_peak:.2f}x the batch scan)")
    print(f"exit status after shutdown and exit: {client.close()}")


if __name__ == "__main__":
    sys.exit(main())
