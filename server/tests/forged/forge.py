#!/usr/bin/env python3
"""Makes the forged replays kept beside this script from a genuine recorded game, by
editing its bytes as an attacker would (the checksum at the end is recomputed, since
anyone can). Run it again after the genuine games in tests/replays/ are recorded anew:
    forge.py GENUINE.tkr OUT_DIR
Each forgery is one way to ask for a verified result that was not played:
  game-over-start.tkr   no input at all; its start state is the game-over screen with a
                        score of 14 000 000, and its trailer claims that score
  renamed.tkr           the genuine game with another name in its trailer ("Kot")
  other-start.tkr       the genuine game with its start moved (another pointer position):
                        the same journal and seed, so the same game
  mid-game.tkr          the genuine journal started on the pond instead of the main menu
  switched.tkr          the genuine game with a scene switch of its own put in front
  dropped-firing.tkr    the genuine game without one of its stage clock's firings, which
                        would leave the feeding stage a second longer
  late-firing.tkr       one stage clock firing moved 600 ms later than it was due
  early-firing.tkr      one stage clock firing moved 600 ms before it was due
"""
import struct
import sys
from pathlib import Path

MAGIC = b"TKREPLAY"


def fnv1a(data):
    h = 0xCBF29CE484222325
    for b in data:
        h ^= b
        h = (h * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return h


class Reader:
    def __init__(self, data, pos=0):
        self.data, self.pos = data, pos

    def u8(self):
        v = self.data[self.pos]
        self.pos += 1
        return v

    def fixed(self, n):
        v = int.from_bytes(self.data[self.pos:self.pos + n], "little")
        self.pos += n
        return v

    def var(self):
        v, shift = 0, 0
        while True:
            b = self.u8()
            v |= (b & 0x7F) << shift
            shift += 7
            if not b & 0x80:
                return v

    def svar(self):
        u = self.var()
        return (u >> 1) ^ -(u & 1)

    def text(self):
        n = self.var()
        s = self.data[self.pos:self.pos + n]
        self.pos += n
        return s


def var(v):
    out = bytearray()
    while True:
        b = v & 0x7F
        v >>= 7
        if v:
            out.append(b | 0x80)
        else:
            out.append(b)
            return bytes(out)


def svar(v):
    return var(((v << 1) ^ (v >> 63)) & 0xFFFFFFFFFFFFFFFF)


def text(s):
    return var(len(s)) + s


def parse(data):
    """The file cut at its parts: header (to the start), start, journal (to End), trailer."""
    assert data[:8] == MAGIC
    version = int.from_bytes(data[8:10], "little")
    r = Reader(data, 10)
    r.text()
    r.fixed(8 + 4 + 8)
    start_at = r.pos
    r.u8()
    for _ in range(5):
        r.svar()
    r.fixed(16)
    r.fixed(14)
    r.fixed(6)
    r.svar()
    for _ in range(4):
        r.text()
    for _ in range(10):
        r.text()
        r.svar()
    for _ in range(4):
        r.u8()
        r.var()
    journal_at = r.pos
    while True:
        kind = r.u8()
        r.var()
        if kind == 0:
            break
        if kind == 1 or kind == 4 or kind == 8 or kind == 11 or kind == 12:
            r.u8()
        elif kind in (2, 3):
            r.u8(), r.u8()
        elif kind in (6, 7):
            r.u8(), r.svar(), r.svar()
        elif kind == 5:
            r.svar(), r.svar()
        elif kind == 14:
            r.u8(), r.u8(), r.svar(), r.text(), r.text()
        elif kind in (9, 10, 13):
            pass
        else:
            raise ValueError(f"unknown entry kind {kind}")
    end_at = r.pos - 2  # the End entry: kind 0, step 0
    trailer_at = r.pos
    return {
        "version": version,
        "header": data[:start_at],
        "start": data[start_at:journal_at],
        "journal": data[journal_at:end_at],
        "trailer": data[trailer_at:len(data) - 8],
    }


def entries(journal):
    """The journal's entries as [kind, step (ms since the one before), payload bytes]."""
    r = Reader(journal)
    out = []
    while r.pos < len(journal):
        kind = r.u8()
        step = r.var()
        at = r.pos
        if kind in (1, 4, 8, 11, 12):
            r.u8()
        elif kind in (2, 3):
            r.u8(), r.u8()
        elif kind in (6, 7):
            r.u8(), r.svar(), r.svar()
        elif kind == 5:
            r.svar(), r.svar()
        elif kind == 14:
            r.u8(), r.u8(), r.svar(), r.text(), r.text()
        out.append([kind, step, journal[at:r.pos]])
    return out


def journal_of(items):
    return b"".join(bytes([k]) + var(step) + payload for k, step, payload in items)


def stage_clock_firing(items, n):
    """The index of the stage clock's (LevelTimer's) n-th firing."""
    found = [i for i, (k, _, payload) in enumerate(items) if k == 11 and payload == b"\x02"]
    return found[n]


def without(items, i):
    """The entry taken out, the next one keeping its time."""
    items = [list(e) for e in items]
    if i + 1 < len(items):
        items[i + 1][1] += items[i][1]
    return items[:i] + items[i + 1:]


def moved(items, i, shift):
    """The entry taken out and put back `shift` ms later (or earlier), among the others."""
    times, t = [], 0
    for _, step, _ in items:
        t += step
        times.append(t)
    entry, at = items[i], times[i] + shift
    rest = [(e, times[j]) for j, e in enumerate(items) if j != i]
    place = next(j for j, (_, tj) in enumerate(rest) if tj > at)
    rest.insert(place, (entry, at))
    out, previous = [], 0
    for (k, _, payload), tj in rest:
        out.append([k, tj - previous, payload])
        previous = tj
    return out


def assemble(p):
    body = p["header"] + p["start"] + p["journal"] + b"\x00\x00" + p["trailer"]
    return body + struct.pack("<Q", fnv1a(body))


def start_with(start, scene=None, level=None, score=None, lives=None, mouse_x=None):
    """The start state with its first fields changed (scene, level, score, lives, pointer)."""
    r = Reader(start)
    old_scene = r.u8()
    values = [r.svar() for _ in range(5)]
    rest = start[r.pos:]
    for i, v in enumerate((level, score, lives, mouse_x)):
        if v is not None:
            values[i if i < 3 else 3] = v
    return bytes([old_scene if scene is None else scene]) + b"".join(svar(v) for v in values) + rest


def trailer(score, level, lives, entered, name):
    return svar(score) + svar(level) + svar(lives) + bytes([entered]) + text(name)


def main():
    genuine = Path(sys.argv[1]).read_bytes()
    out = Path(sys.argv[2])
    p = parse(genuine)
    assert assemble(p) == genuine, "the parts do not make the file again"
    t = Reader(p["trailer"])
    score, level, lives, entered, name = t.svar(), t.svar(), t.svar(), t.u8(), t.text()

    forged = {}
    q = dict(p)
    q["start"] = start_with(p["start"], scene=9, level=7, score=14_000_000, lives=0)
    q["journal"] = b""
    q["trailer"] = trailer(14_000_000, 7, 0, 1, name)
    forged["game-over-start.tkr"] = q

    q = dict(p)
    q["trailer"] = trailer(score, level, lives, entered, b"Kot")
    forged["renamed.tkr"] = q

    q = dict(p)
    r = Reader(p["start"], 1)
    mouse_x = [r.svar() for _ in range(4)][3]
    q["start"] = start_with(p["start"], mouse_x=mouse_x + 1)
    forged["other-start.tkr"] = q

    q = dict(p)
    q["start"] = start_with(p["start"], scene=3, level=1, score=0, lives=3)
    forged["mid-game.tkr"] = q

    q = dict(p)
    q["journal"] = bytes([12, 0, 3]) + p["journal"]  # Switch to the pond, at once
    forged["switched.tkr"] = q

    items = entries(p["journal"])
    assert journal_of(items) == p["journal"]
    firing = stage_clock_firing(items, 40)
    for name_, journal in (("dropped-firing.tkr", without(items, firing)),
                           ("late-firing.tkr", moved(items, firing, 600)),
                           ("early-firing.tkr", moved(items, firing, -600))):
        q = dict(p)
        q["journal"] = journal_of(journal)
        forged[name_] = q

    for name_, parts in forged.items():
        (out / name_).write_bytes(assemble(parts))
        print(name_)


if __name__ == "__main__":
    main()
