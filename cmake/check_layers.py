#!/usr/bin/env python3
"""The layer rule of Chronode's source tree.

A folder includes only itself and lower layers; code outside a ui/ folder never includes one
(app/ and tools/ at the top may); no two source files include each other in a cycle.
Usage: check_layers.py SOURCE_DIR. Prints each violation and a summary; exit 1 on any."""
import os
import re
import sys

LAYERS = [
    ["core"],
    ["timescale", "averaging", "transport"],
    ["receiver", "tic"],
    ["sim"],
    ["logging", "chart", "clock", "remote", "update", "help"],
    ["app", "tools"],
    ["bench"],
]
LAYER = {folder: level for level, folders in enumerate(LAYERS) for folder in folders}
TOP_WITH_UI = {"app", "tools", "bench"}
# Includes still allowed to break the rule while they are being removed: "from -> to" lines.
ALLOWED = set()
ALLOWED_CYCLES = set()

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def main(root):
    files = {}
    for d, dirs, names in os.walk(root):
        rel = os.path.relpath(d, root)
        first = rel.split(os.sep)[0]
        if rel != "." and first.startswith((".", "build")) or first in ("tests", "resources", "docs"):
            dirs[:] = []
            continue
        for n in names:
            if n.endswith((".h", ".cpp")):
                path = os.path.normpath(os.path.join(rel, n))
                with open(os.path.join(d, n), errors="replace") as f:
                    files[path] = f.read()
    problems, graph, unknown = [], {}, set()
    for src, text in sorted(files.items()):
        for target in INCLUDE.findall(text):
            local = os.path.normpath(os.path.join(os.path.dirname(src), target))
            dst = local if local in files else os.path.normpath(target)
            if dst not in files:
                continue
            graph.setdefault(src, set()).add(dst)
            a, b = src.split(os.sep)[0], dst.split(os.sep)[0]
            for folder in (a, b):
                if folder not in LAYER:
                    unknown.add(folder)
            line = f"{src} -> {dst}"
            if line in ALLOWED:
                continue
            if a in LAYER and b in LAYER and LAYER[b] > LAYER[a]:
                problems.append(f"climbs a layer: {line}")
            ui_dst = "ui" in dst.split(os.sep)[:-1]
            ui_src = "ui" in src.split(os.sep)[:-1]
            if ui_dst and not ui_src and a not in TOP_WITH_UI:
                problems.append(f"headless code includes ui/: {line}")
    for folder in sorted(unknown):
        problems.append(f"folder outside the layer table: {folder}")
    # cycles between source units (a header and its .cpp count as one)
    unit = lambda p: os.path.splitext(p)[0]
    edges = {}
    for s, ds in graph.items():
        for d in ds:
            if unit(s) != unit(d):
                edges.setdefault(unit(s), set()).add(unit(d))
    index, low, stack, on, counter = {}, {}, [], set(), [0]
    sys.setrecursionlimit(100000)

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on.add(v)
        for w in edges.get(v, ()):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            comp = []
            while True:
                w = stack.pop()
                on.discard(w)
                comp.append(w)
                if w == v:
                    break
            cycle = " <-> ".join(sorted(comp))
            if len(comp) > 1 and cycle not in ALLOWED_CYCLES:
                problems.append("include cycle: " + cycle)

    for v in sorted(edges):
        if v not in index:
            visit(v)
    for p in problems:
        print(p)
    print(f"{len(problems)} violations in {len(files)} files")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
