#!/usr/bin/env python3
"""Every file under src/ includes only its own layer and the layers below it.

The layers and what each may use come from the tk_layer(... DEPS ...) lines of
src/*/CMakeLists.txt, so the build's declaration is the one rule. SDL's headers belong to
the platform layer's sdl/ and text/ folders alone.
"""
import pathlib
import re
import sys

src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")

deps = {}
for cml in sorted(src.glob("*/CMakeLists.txt")):
    for m in re.finditer(r"tk_layer\((\w+)([^)]*)\)", cml.read_text()):
        name = m.group(1).removeprefix("tk_")
        d = re.search(r"DEPS\s+((?:tk_\w+\s*)+)", m.group(2))
        deps[name] = [x.removeprefix("tk_") for x in d.group(1).split()] if d else []

if not deps:
    sys.exit(f"no layers declared under {src}")


def below(layer, seen=None):
    seen = set() if seen is None else seen
    for d in deps.get(layer, []):
        if d not in seen:
            seen.add(d)
            below(d, seen)
    return seen


problems = []
for layer in deps:
    allowed = below(layer) | {layer}
    for f in sorted((src / layer).rglob("*")):
        if f.suffix not in (".h", ".cpp"):
            continue
        rel = f.relative_to(src)
        for n, line in enumerate(f.read_text(errors="replace").splitlines(), 1):
            m = re.match(r'\s*#\s*include\s+"([^"/]+)/', line)
            if m and (src / m.group(1)).is_dir() and m.group(1) not in allowed:
                problems.append(f"{rel}:{n}: {layer} includes {m.group(1)}/, which is not below it")
            if re.match(r"\s*#\s*include\s+[<\"]SDL", line) and rel.parts[:2] not in (
                    ("platform", "sdl"), ("platform", "text")):
                problems.append(f"{rel}:{n}: SDL is included outside platform/sdl and platform/text")

for p in problems:
    print(p)
print(f"{len(deps)} layers checked, {len(problems)} problem(s)")
sys.exit(1 if problems else 0)
