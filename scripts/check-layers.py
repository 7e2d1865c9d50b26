#!/usr/bin/env python3
"""Checks the include graph between the folders of src/: it must have no circle, and no window
folder (browser, slideshow, setup, help) may include another one's headers; the windows meet
through the interfaces in app/. The system folder is the bottom layer: it includes no other
folder, and it alone (with platform and the help viewer) includes operating-system headers; core
and pictures reach the system only through it. Prints the folder graph; exits 1 on a violation.

    python3 scripts/check-layers.py [src folder]
"""
import os
import re
import sys

WINDOWS = {"browser", "slideshow", "setup", "help"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
# Folders that must build without any operating-system header of their own.
PORTABLE = {"core", "pictures"}
SYSTEM_HEADER = re.compile(
    r'^\s*#\s*include\s+<((?:sys|linux|asm|bits)/[^>]+|(?:unistd|fcntl|pthread|sched|dirent|'
    r'dlfcn|poll|signal|termios|pwd|grp|spawn|windows|io|direct)\.h)>', re.M)


def folder_of(path, src):
    parts = os.path.relpath(path, src).split(os.sep)
    # The help viewer is a program of its own beside the help service.
    return "help/viewer" if parts[:2] == ["help", "viewer"] else parts[0]


def main():
    src = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                          os.path.join(os.path.dirname(__file__), "..", "src"))
    edges = {}
    system_includes = []
    for root, _, files in os.walk(src):
        for name in files:
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(root, name)
            here = folder_of(path, src)
            with open(path, encoding="utf-8") as f:
                text = f.read()
                if here in PORTABLE:
                    for header in SYSTEM_HEADER.findall(text):
                        system_includes.append(f"{os.path.relpath(path, src)} includes <{header}>")
                for target in INCLUDE.findall(text):
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

    problems = [f"operating-system header in a portable folder: {what}" for what in system_includes]
    if edges.get("system"):
        problems.append("system includes " + ", ".join(sorted(edges["system"])))
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
