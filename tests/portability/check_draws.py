#!/usr/bin/env python3
"""No statement draws two random numbers where the language leaves their order open.

The arguments of one call, the operands of + or *, the elements of a function's argument
list: a compiler may evaluate these in any order, and two compilers do it differently, so
`Place(Random(800), Random(600))` gives a recorded game (or a soak seed) another course in
another build. Draws must be sequenced: separate statements, a braced list, an if's
condition before its body, or the sides of ?:, && and ||.

    check_draws.py DIR...   scans the C++ files under each DIR (after checking itself)
"""
import pathlib
import re
import sys

DRAW = re.compile(r"\b(?:Random|DrawSeed|R|Chance|UniformBelow)\s*\(")


def strip(code):
    """Comments and string/char literals out, so their text cannot look like a draw."""
    code = re.sub(r"//[^\n]*|/\*.*?\*/", " ", code, flags=re.S)
    return re.sub(r'"(?:\\.|[^"\\])*"|\'(?:\\.|[^\'\\])*\'', '""', code)


def statements(code):
    # Braces end a statement too: braced lists evaluate left to right.
    return [s for s in re.split(r"[;{}]", code) if s.strip()]


def condition_ends(statement):
    """Where the conditions of the statement's ifs and whiles close."""
    ends = []
    for m in re.finditer(r"\b(?:if|while)\s*\(", statement):
        depth = 0
        for i in range(m.end() - 1, len(statement)):
            depth += statement[i] == "("
            depth -= statement[i] == ")"
            if depth == 0:
                ends.append((m.end(), i))
                break
    return ends


def sequenced(statement, a, b):
    """True when the code between the draws at a and b orders them."""
    if re.search(r"\?|(?<!:):(?!:)|&&|\|\|", statement[a:b]):
        return True
    # The first draw in an if's or a while's condition, the second in what it controls.
    return any(start <= a < end < b for start, end in condition_ends(statement))


def top_level_comma(statement, a, b):
    """A comma outside any parentheses: the elements of a braced list (the braces were
    split off) or the comma operator, both evaluated left to right."""
    depth = 0
    for i, ch in enumerate(statement[:b]):
        depth += ch in "(["
        depth -= ch in ")]"
        if ch == "," and depth == 0 and i > a:
            return True
    return False


def unsequenced(statement):
    draws = [m.start() for m in DRAW.finditer(statement)]
    for a, b in zip(draws, draws[1:]):
        if not (sequenced(statement, a, b) or top_level_comma(statement, a, b)):
            return True
    return False


CASES = [
    ("MoveTo(R(800), R(600))", True),
    ("Click(R(800), platform::MouseButton::Left, R(600))", True),
    ("x = f.Random(3) + f.Random(4)", True),
    ("Click(270 + R(180), ys[R(3)])", True),
    ("Tap(walk[R(4)], 5 + R(40))", True),
    ("const int y = R(600)", False),
    ("if (f.Random(20) == 0) cell.Pickup = f.Random(5) == 0 ? 1 : 2", False),
    ("if (Chance(8)) MoveTo(Anywhere())", False),
    ("else if (Chance(6)) Click(560 + R(200), 500 + R(80))", True),
    ("const auto b = Chance(2) ? Left : Right", False),
    ("return Chance(3) && R(10) > 2", False),
    ("if (f.Random(5) != 0) return", False),
    ("Ev d{Ev::MouseDown, 0, 300 + R(200), R(600)}", False),  # braced: left to right
    ('Log("Random(1)", f.Random(2))', False),
]


def self_test():
    bad = [(code, want) for code, want in CASES
           if any(unsequenced(s) for s in statements(strip(code))) != want]
    for code, want in bad:
        print(f"check_draws.py misjudges: {code!r} (should be {'caught' if want else 'allowed'})")
    return not bad


def main(dirs):
    if not self_test():
        return 1
    found = 0
    for d in dirs:
        for path in sorted(pathlib.Path(d).rglob("*")):
            if path.suffix not in (".cpp", ".h"):
                continue
            for s in statements(strip(path.read_text(encoding="utf-8", errors="replace"))):
                if unsequenced(s):
                    found += 1
                    print(f"{path}: two draws in an order the compiler chooses: {' '.join(s.split())}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:] or ["src"]))
