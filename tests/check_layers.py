#!/usr/bin/env python3
"""Fails when a source folder includes from a folder above it, or the console program from the windows.

The folders of src/ stand in one order, bottom to top; each may include from its own folder and the
ones below it, never from one above, so the layers have no cycles. The model (base, common, settings,
guard, revert) stands below every window folder. The console program stands on the model: it never
includes the windows' folders, nor common's window helpers (the hand cursor, the splash's progress hook).
Headers from outside src/ (system, standard library, resources/resource.h) are allowed everywhere.
"""
import pathlib
import re
import sys

LAYERS = ["base", "common", "settings", "guard", "revert", "ui/toolkit", "registry", "ui/main", "ui/start", "app",
          "console"]
# The two programs' entries stand side by side at the top: neither includes the other.
SAME_LEVEL = {"app": 9, "console": 9}
# What a folder may never include although it stands above it.
FORBIDDEN = {"console": ("ui/", "registry/", "common/HandCursor.h", "common/Startup.h")}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer_of(relative):
    for name in sorted(LAYERS, key=len, reverse=True):
        if relative == name or relative.startswith(name + "/"):
            return name
    return None


def level(name):
    return SAME_LEVEL.get(name, LAYERS.index(name))


def main(src):
    problems = []
    files = [p for p in src.rglob("*") if p.suffix in (".h", ".cpp")]
    for path in files:
        own = layer_of(path.relative_to(src).as_posix())
        if own is None:
            problems.append(f"{path}: not in any layer")
            continue
        for target in INCLUDE.findall(path.read_text(encoding="utf-8")):
            if target.startswith(FORBIDDEN.get(own, ())):
                problems.append(f"{path.relative_to(src)}: {own} includes {target} (window code)")
                continue
            other = layer_of(target)
            if other is None or other == own:
                continue
            if level(other) >= level(own):
                problems.append(f"{path.relative_to(src)}: {own} includes {target} ({other} is not below it)")
    for p in problems:
        print(p)
    print(f"{len(files)} files checked, {len(problems)} includes out of order")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")))
