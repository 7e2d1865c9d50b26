#!/usr/bin/env python3
"""Checks the include graph between the folders of src/: it must have no circle, and no window
folder (browser, slideshow, setup, help) may include another one's headers; the windows meet
through the interfaces in app/. Prints the folder graph; exits 1 on a violation.

    python3 scripts/check-layers.py [src folder]
"""
import os
import re
import sys

WINDOWS = {"browser", "slideshow", "setup", "help"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path, src):
    parts = os.path.relpath(path, src).split(os.sep)
    # The help viewer is a program of its own beside the help service.
    return "help/viewer" if parts[:2] == ["help", "viewer"] else parts[0]


def main():
    src = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                          os.path.join(os.path.dirname(__file__), "..", "src"))
    edges = {}
    for root, _, files in os.walk(src):
        for name in files:
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(root, name)
            here = folder_of(path, src)
            with open(path, encoding="utf-8") as f:
                for target in INCLUDE.findall(f.read()):
                    resolved = os.path.join(src, target)
                    if not os.path.exists(resolved):
                        resolved = os.path.join(root, target)
                    if not os.path.exists(resolved):
                        continue
                    there = folder_of(resolved, src)
                    if there != here:
                        edges.setdefault(here, set()).add(there)
    for folder in sorted(edges):
        print(f"{folder} -> {', '.join(sorted(edges[folder]))}")

    problems = []
    for a in WINDOWS:
        for b in WINDOWS & edges.get(a, set()):
            # help also holds the help service every window calls; its About box is reached
            # through the program like any window.
            if b != "help":
                problems.append(f"window folder {a} includes window folder {b}")

    # Any circle in the folder graph.
    state = {}

    def visit(node, trail):
        state[node] = "open"
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == "open":
                problems.append("circle: " + " -> ".join(trail[trail.index(nxt):] + [nxt]))
            elif nxt not in state:
                visit(nxt, trail + [nxt])
        state[node] = "done"

    for node in sorted(edges):
        if node not in state:
            visit(node, [node])
    for problem in problems:
        print("FAIL:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
