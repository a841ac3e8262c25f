#!/usr/bin/env python3
"""Times brindle-check --lsp where the author types, on one script.

  bench/lsp_latency.py BRINDLE_CHECK SCRIPT [RUNS]

Opens SCRIPT, then RUNS times: types a line near its start (an incremental
change) and times the diagnostics that answer it; asks for a definition and
a hover at once after another change; asks for a definition, references,
completion, hover, symbols, code lens and the story's map (brindle.map) on
the unchanged document, and prints the map's size. Then
sends a burst of twenty changes and counts the diagnostics that answer them
(one is what is wanted: the last change's). Last, the server's peak memory
(its VmHWM) beside the script's size. Prints medians and the slowest;
passes or fails on nothing.
"""
import json
import queue
import statistics
import subprocess
import sys
import threading
import time


def main():
    program, script = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    server = subprocess.Popen([program, "--lsp"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    arrived = queue.Queue()

    def read():
        while True:
            header = server.stdout.readline()
            if not header:
                arrived.put((time.perf_counter(), None))
                return
            length = int(header.split(b":")[1])
            server.stdout.readline()
            arrived.put((time.perf_counter(), json.loads(server.stdout.read(length))))

    threading.Thread(target=read, daemon=True).start()

    def send(message):
        data = json.dumps(message).encode()
        server.stdin.write(b"Content-Length: %d\r\n\r\n" % len(data) + data)
        server.stdin.flush()

    # Messages that came while another was awaited, in order: the
    # diagnostics of a change may come before the answer to a request sent
    # after it, and are awaited next.
    held = []

    def until(wanted, timeout=60):
        for k, (at, message) in enumerate(held):
            if wanted(message):
                del held[k]
                return at, message
        end = time.perf_counter() + timeout
        while True:
            at, message = arrived.get(timeout=max(0.01, end - time.perf_counter()))
            if message is None:
                raise SystemExit("the server ended")
            if wanted(message):
                return at, message
            held.append((at, message))

    ids = iter(range(1, 1 << 30))

    answers = {}

    def request(method, params):
        number = next(ids)
        start = time.perf_counter()
        send({"jsonrpc": "2.0", "id": number, "method": method, "params": params})
        at, answer = until(lambda m: m.get("id") == number)
        answers[method] = answer
        return at - start

    uri = "file:///bench/test.py"
    text = open(script, encoding="utf-8", errors="replace").read()
    lines = text.split("\n")
    jump = next((n for n, line in enumerate(lines) if "jump_out " in line), 0)
    target = {"line": jump, "character": lines[jump].find("jump_out ") + 10}
    request("initialize", {"capabilities": {}})
    send({"jsonrpc": "2.0", "method": "initialized", "params": {}})
    start = time.perf_counter()
    send({"jsonrpc": "2.0", "method": "textDocument/didOpen",
          "params": {"textDocument": {"uri": uri, "languageId": "brindle", "version": 1, "text": text}}})
    at, message = until(lambda m: m.get("method") == "textDocument/publishDiagnostics")
    opened = at - start
    version = 1

    def change():
        nonlocal version
        version += 1
        send({"jsonrpc": "2.0", "method": "textDocument/didChange",
              "params": {"textDocument": {"uri": uri, "version": version},
                         "contentChanges": [{"range": {"start": {"line": 1, "character": 0},
                                                       "end": {"line": 1, "character": 0}},
                                             "text": "    e \"typed\"\n"}]}})
        nonlocal target
        target = dict(target, line=target["line"] + 1)

    diagnostics, afterChange, hoverAfterChange, steady = [], [], [], {}
    document = {"textDocument": {"uri": uri}}
    for _ in range(runs):
        start = time.perf_counter()
        change()
        at, _ = until(lambda m: m.get("method") == "textDocument/publishDiagnostics")
        diagnostics.append(at - start)
        change()
        afterChange.append(request("textDocument/definition", dict(document, position=target)))
        until(lambda m: m.get("method") == "textDocument/publishDiagnostics")
        change()
        hoverAfterChange.append(request("textDocument/hover", dict(document, position=target)))
        until(lambda m: m.get("method") == "textDocument/publishDiagnostics")
        for method, params in [("definition", {"position": target}),
                               ("references", {"position": target, "context": {"includeDeclaration": True}}),
                               ("completion", {"position": target}),
                               ("hover", {"position": target}),
                               ("documentSymbol", {}),
                               ("codeLens", {})]:
            steady.setdefault(method, []).append(request("textDocument/" + method, dict(document, **params)))
        steady.setdefault("brindle.map", []).append(
            request("workspace/executeCommand", {"command": "brindle.map", "arguments": [uri]}))
        storyMap = answers["workspace/executeCommand"]["result"]
    for _ in range(20):
        change()
    # Diagnostics that would answer another change come within a few checks.
    quiet = max(3, 3 * max(diagnostics))
    answered = 0
    try:
        while True:
            until(lambda m: m.get("method") == "textDocument/publishDiagnostics", timeout=quiet)
            answered += 1
    except queue.Empty:
        pass

    def figures(times):
        return "median %6.1f ms, slowest %6.1f ms" % (1000 * statistics.median(times), 1000 * max(times))

    print("%-40s %s  (%.1f MB, %d diagnostics)" % (
        "open: first diagnostics", "%6.1f ms" % (1000 * opened), len(text.encode()) / 1e6,
        len(message["params"]["diagnostics"])))
    print("%-40s %s" % ("diagnostics after a change", figures(diagnostics)))
    print("%-40s %s" % ("definition just after a change", figures(afterChange)))
    print("%-40s %s" % ("hover just after a change", figures(hoverAfterChange)))
    for method, times in steady.items():
        print("%-40s %s" % (method, figures(times)))
    print("%-40s %d nodes (%d undefined targets), %d edges, %d labels no jump reaches" % (
        "the story's map", len(storyMap["nodes"]), sum(not n["defined"] for n in storyMap["nodes"]),
        len(storyMap["edges"]), sum(n["defined"] and not n["reached"] for n in storyMap["nodes"])))
    print("%-40s %d (of 20 changes)" % ("diagnostics answering a burst", answered))
    with open("/proc/%d/status" % server.pid) as status:
        peak = next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))
    size = len(text.encode())
    print("%-40s %.0f MB, %.2f times the script" % ("server's peak memory", peak / 1024, peak * 1024 / size))
    request("shutdown", None)
    send({"jsonrpc": "2.0", "method": "exit"})
    server.wait(timeout=10)


if __name__ == "__main__":
    main()
