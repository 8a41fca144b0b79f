#!/usr/bin/env python3
"""Every file under src/ includes only its own layer and the layers below it.

The layers and what each may use come from the tk_layer(... DEPS ...) lines of
src/*/CMakeLists.txt, so the build's declaration is the one rule. The platform layer's
implementations (sdl/, text/, http/, headless/, web/) are libraries of their own that no other
layer includes; SDL's headers belong to sdl/ and text/ alone, curl's to http/.

With a second folder, the score server: it includes only the layers its library tk_scores
links (and what those use), none of the platform's implementations, SDL or curl.
"""
import pathlib
import re
import sys

src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
server = pathlib.Path(sys.argv[2]) if len(sys.argv) > 2 else None
PLATFORM_IMPLS = ("sdl", "text", "http", "headless", "web")

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


def check_file(f, rel, owner, allowed):
    """Problems of one file: owner is its layer ("server" for the server), allowed the
    layers it may include; rel is how it is named in a report."""
    in_platform = owner == "platform"
    impl = rel.parts[1] if in_platform and len(rel.parts) > 2 else None
    for n, line in enumerate(f.read_text(errors="replace").splitlines(), 1):
        m = re.match(r'\s*#\s*include\s+"([^"/]+)/([^"/]+)/', line)
        if m and m.group(1) == "platform" and m.group(2) in PLATFORM_IMPLS and not in_platform:
            problems.append(f"{rel}:{n}: {owner} includes platform/{m.group(2)}/, an implementation")
        m = re.match(r'\s*#\s*include\s+"([^"/]+)/', line)
        if m and (src / m.group(1)).is_dir() and m.group(1) not in allowed:
            problems.append(f"{rel}:{n}: {owner} includes {m.group(1)}/, which is not below it")
        if re.match(r"\s*#\s*include\s+[<\"]SDL", line) and impl not in ("sdl", "text"):
            problems.append(f"{rel}:{n}: SDL is included outside platform/sdl and platform/text")
        if re.match(r"\s*#\s*include\s+[<\"]curl/", line) and impl != "http":
            problems.append(f"{rel}:{n}: curl is included outside platform/http")


def sources(folder):
    return [f for f in sorted(folder.rglob("*")) if f.suffix in (".h", ".cpp")]


for layer in deps:
    allowed = below(layer) | {layer}
    for f in sources(src / layer):
        check_file(f, f.relative_to(src), layer, allowed)

checked = f"{len(deps)} layers"
if server is not None:
    cml = (server / "CMakeLists.txt").read_text()
    m = re.search(r"target_link_libraries\(tk_scores\b([^)]*)\)", cml)
    if not m:
        sys.exit(f"no target_link_libraries(tk_scores ...) in {server}/CMakeLists.txt")
    links = [x.removeprefix("tk_") for x in re.findall(r"\btk_\w+", m.group(1))]
    unknown = [x for x in links if x not in deps]
    if unknown:
        sys.exit(f"tk_scores links {unknown}, which are not layers under {src}")
    allowed = set(links)
    for x in links:
        below(x, allowed)
    for f in sources(server):
        check_file(f, pathlib.Path(server.name) / f.relative_to(server), "server", allowed)
    checked += " and the server"

for p in problems:
    print(p)
print(f"{checked} checked, {len(problems)} problem(s)")
sys.exit(1 if problems else 0)
