#!/usr/bin/env python3
"""A scripted player for tinokvak-sim that plays well enough to record games worth keeping.

It drives `tinokvak-sim --seed SEED --record FILE -` through its standard input, looks at the
game with the sim's `peek` command (the pond's lilies, the stone, the insects, the stork)
and decides its next keys and pointer moves from that alone, so the same seed and the same
game always give the same recording. Its plan says what the game should show (hazards
sought out, a pause and the exit prompt, a Cyrillic name at the end); what actually happened
is printed as JSON on stdout.

    player.py SIM SEED PLAN OUT.tkr [--dir GAMEDIR] [--log OUT.sim]
"""
import json
import math
import subprocess
import sys

INSECTS = {"TMushka": 5, "TMuha": 10, "TKomar": 15, "TVodomerka": 20, "TPchel": 25}
SIMPLE, HUNTER, SPRING, STICKY, CROCODILE = (0, 10, 20), 1, 2, 3, 4
LEFT, RIGHT, UP = 0, 1, 2
DEBUG = False
HORIZON = 700  # ticks a careful frog looks ahead
FALLS_AT = 2.0  # a frog falls once its pad has dived this far


def dive_ticks(lily):
    """For the next HORIZON ticks, whether this simple lily has dived too far to stand on."""
    _row, _col, _kind, pos, speed, base, slow, count = lily
    last = count - 1
    out = [False] * HORIZON
    for t in range(1, HORIZON):
        pos += speed * 16
        if pos >= count:
            pos -= math.trunc(pos / count) * count
        out[t] = pos >= FALLS_AT
        if 0 <= pos < 1 and slow:
            slow, speed = False, base / 3
        elif 1 <= pos < last - 1 and not slow:
            slow, speed = True, base * 5
        elif last - 1 <= pos < last and slow:
            slow, speed = False, base / 3
        elif pos >= last and not slow:
            slow, speed = True, base * 5
    return out


class Sim:
    def __init__(self, sim, seed, out, gamedir, log):
        args = [sim, "--seed", str(seed), "--record", out]
        if gamedir:
            args += ["--dir", gamedir]
        self.p = subprocess.Popen(args + ["-"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  text=True, encoding="utf-8")
        self.log = open(log, "w", encoding="utf-8") if log else None

    def send(self, *lines):
        for line in lines:
            self.p.stdin.write(line + "\n")
            if self.log:
                self.log.write(line + "\n")
        self.p.stdin.flush()

    def peek(self):
        self.p.stdin.write("peek\n")
        self.p.stdin.flush()
        line = self.p.stdout.readline()
        if not line:
            raise SystemExit("tinokvak-sim ended early")
        return json.loads(line)

    def ticks(self, n):
        self.send(f"ticks {n}")

    def tap(self, key, hold=2):
        self.send(f"down {key}", f"ticks {hold}", f"up {key}")

    def close(self):
        self.p.stdin.close()
        rc = self.p.wait()
        if self.log:
            self.log.close()
        if rc != 0:
            raise SystemExit(f"tinokvak-sim failed ({rc})")


class Player:
    def __init__(self, sim, plan):
        self.s = sim
        self.plan = plan
        self.seen = {"landedOn": set(), "livesLost": 0, "pickups": 0, "crocodile": False,
                     "sticky3": False, "spring": False, "insectsSeen": set(),
                     "insectsEaten": set(), "stork": False, "storkTookLife": False,
                     "paused": False, "exitPrompt": False, "nameTyped": "", "maxLevel": 1,
                     "feedingStagesFinished": 0, "fell": 0,
                     "pickupsSeen": set(), "heartsTaken": 0}
        self.prompted = False
        self.stickyPresses = 0
        self.waited = 0

    # ---- the pond
    def pond(self, st):
        s = self.s
        if st["paused"] or st["exitPrompt"] or st["timer1"] and st["t"] < 0:
            s.ticks(5)
            return
        if not st["controllable"] or st["scrolling"]:
            s.ticks(3)
            return
        if "pause" in self.plan and not self.prompted and st["level"] >= 1 and st["hunger"] >= 2:
            self.prompted = True
            s.tap("P"); s.ticks(30)
            if s.peek()["paused"]:
                self.seen["paused"] = True
            s.tap("P"); s.ticks(10)
            s.send("key Esc"); s.ticks(20)
            if s.peek()["exitPrompt"]:
                self.seen["exitPrompt"] = True
            s.send("move 464 330", "ticks 2", "click 465 325"); s.ticks(10)
            return
        grid = st["grid"]
        col = st["frogColumn"]
        here = grid[5][col][0]
        above = grid[4][col][0]
        self.seen["landedOn"].add(here)
        seek = "hazards" in self.plan
        danger = (HUNTER, CROCODILE)
        # Up the stone's column (the first), the shortest way to the end of the pond: every
        # jump makes the frog hungrier. A lily the plan wants to see draws it aside.
        target = 0
        if here == STICKY and st["stickyTries"] < 3 and "sticky" in self.plan:
            self.face(st, UP)
            s.tap("Space", 2); s.ticks(8)
            self.stickyPresses += 1
            if self.stickyPresses >= 3:
                self.seen["sticky3"] = True
            return
        if here == CROCODILE and "crocodile" in self.plan and not self.seen["crocodile"]:
            s.ticks(10)  # waits beside the eyes until the crocodile comes up
            return
        want = set()
        if seek and self.seen["livesLost"] < 2:
            want |= {HUNTER, CROCODILE}
        if "sticky" in self.plan and not self.seen["sticky3"]:
            want.add(STICKY)
        if "spring" in self.plan and not self.seen["spring"]:
            want.add(SPRING)
        if "crocodile" in self.plan and not self.seen["crocodile"]:
            want.add(CROCODILE)
        near = [c for c in range(4) if grid[4][c][0] in want and abs(c - col) <= 1]
        near += [c for c in range(4) if grid[4][c][1] and grid[4][c][0] in SIMPLE
                 and abs(c - col) <= 1 and "pickups" in self.plan]
        if near and st["stoneRow"] < 2:
            target = near[0]
        elif grid[4][0][0] in danger and col <= 1:
            target = 1 if grid[4][1][0] not in danger else 2
        elif col != 0 and grid[4][col][0] not in danger and grid[4][col - 1][0] in danger:
            target = col
        if target != col:
            self.face(st, LEFT if target < col else RIGHT)
            s.tap("Space", 2); s.ticks(30)
            return
        self.face(st, UP)
        if above == SPRING:
            self.seen["spring"] = True
        s.tap("Space", 2); s.ticks(6)

    # ---- the pond, played carefully (plan "careful"): the frog looks at where every pad is
    # in its dive and only jumps to a lily that will still be afloat when it lands there
    # and for a while after; it waits (which costs nothing) rather than take a risk.
    def pond_careful(self, st):
        s = self.s
        if st["paused"] or st["exitPrompt"] or st["timer1"] and st["t"] < 0:
            s.ticks(5)
            return
        if not st["controllable"] or st["scrolling"] or st["stuck"]:
            s.ticks(3)
            return
        grid = st["grid"]
        col = st["frogColumn"]
        here = grid[5][col][0]
        self.seen["landedOn"].add(here)
        stone = st["stoneRow"]
        cells = {}
        for l in st["lilies"]:
            cells.setdefault((l[0], l[1] - 1), []).append(l)

        dives = {}

        def kind(row, c):
            return grid[row + 1][c][0]

        def safe_len(row, c, arrive):
            """Ticks a frog arriving at the cell after ARRIVE ticks can stay there."""
            if row == stone and c == 0:
                return HORIZON
            k = kind(row, c)
            if k == HUNTER:
                return 0
            if k == CROCODILE:
                return 60  # the eyes blink while the frog waits; it has to move on soon
            if k not in SIMPLE:
                return HORIZON
            end = HORIZON
            for l in cells.get((row, c), []):
                if id(l) not in dives:
                    dives[id(l)] = dive_ticks(l)
                d = dives[id(l)]
                for t in range(max(1, arrive - 8), HORIZON):  # landing times vary a little
                    if d[t]:
                        end = min(end, t)
                        break
            return end - arrive

        if here == CROCODILE:
            here_len = 20
        else:
            here_len = safe_len(4, col, 0)
        need = 60
        # Every jump, hop and held attempt makes the frog hungrier, and a full bottle ends the
        # life: count what is left against the shortest way to the stone (up, then left).
        budget = st["bottleStages"] * st["level"] - 1 - st["hunger"]
        stuck_cost = 3 - st["stickyTries"] if here == STICKY and st["stickyTries"] < 3 else 0
        delay = 40 * stuck_cost
        moves = []  # (score, dest length, facing, slack after)

        def add(facing, rows_up, c, arrive):
            new_stone = stone + rows_up
            dest = 4 - rows_up
            n = safe_len(dest, c, arrive)
            progress = rows_up + (col - c)
            d_after = (4 - new_stone) + c
            k = kind(dest, c)
            dest_sticky = k == STICKY and not (dest == stone and c == 0)
            slack = budget - 1 - stuck_cost - d_after - (3 if dest_sticky else 0)
            if k == SPRING and not (dest == stone and c == 0):
                # Two rows for one jump, unless it would carry the frog past the stone.
                slack += 1 if new_stone + 2 <= 4 else -2 if new_stone == 3 else 0
            score = 100 * progress - (30 if dest_sticky else 0) - (20 if k == CROCODILE else 0)
            if dest == stone and c == 0:
                score += 10000
            if grid[dest + 1][c][1] == 1 and "hearts" in self.plan:
                score += 250
            moves.append((score, n, facing, slack))

        rows = 2 if here == SPRING else 1

        def options(wait):
            if stone + rows <= 4 and stone < 4:
                add(UP, rows, col, wait + 34 + delay)
            for facing, c in ((LEFT, col - 1), (RIGHT, col + 1)):
                if 0 <= c <= 3:
                    add(facing, 0, c, wait + 38 + delay)

        # Waiting is only worth it while some way out will still open before this pad goes.
        later = False
        for wait in range(10, min(here_len - 10, 400), 10):
            options(wait)
            later = any(m[1] >= need and m[3] >= 0 for m in moves)
            moves.clear()
            if later:
                break
        options(0)
        allowed = [m for m in moves if m[3] >= 0] or moves
        good = [m for m in allowed if m[1] >= need]
        forward = [m for m in good if m[0] > 0]
        if DEBUG:
            print("careful", st["t"], "col", col, "here", here, "len", here_len, "stone", stone,
                  "budget", budget, moves, file=sys.stderr)
        if forward:
            best = max(forward)
        elif here_len > 40 and (self.waited < 300 and later or not good):
            best = None
        elif good:
            best = max(good)
        else:
            best = max(allowed, key=lambda m: (min(m[1], need), m[0])) if allowed else None
        if best is None:
            self.waited += 5
            s.ticks(5)
            return
        self.waited = 0
        facing = best[2]
        self.face(st, facing)
        if facing == UP and here == SPRING:
            self.seen["spring"] = True
        s.tap("Space", 2)
        s.ticks(30 if facing != UP else 6)

    def face(self, st, facing):
        if st["frogFacing"] != facing:
            self.s.tap({LEFT: "Left", RIGHT: "Right", UP: "Up"}[facing], 2)
            self.s.ticks(2)
            st["frogFacing"] = facing

    # ---- the feeding stage
    def feeding(self, st):
        s = self.s
        if st["paused"] or st["exitPrompt"]:
            s.ticks(5)
            return
        actors = st["actors"]
        frog = next((a for a in actors if a[0] == "TPlayerSpriteEat"), None)
        insects = [a for a in actors if a[0] in INSECTS]
        for a in insects:
            self.seen["insectsSeen"].add(a[0])
        if any(a[0] == "TAist" for a in actors):
            self.seen["stork"] = True
        base_x, base_y, length = st["tongue"]
        mx, my = base_x + 68, base_y
        if not insects or frog is None:
            s.send("move 400 300"); s.ticks(3)
            return
        def centre(a):
            return a[1] + a[3] / 2, a[2] + a[4] / 2
        target = min(insects, key=lambda a: math.dist(centre(a), (mx, my)))
        tx, ty = centre(target)
        dx, dy = tx - mx, ty - my
        aim = math.degrees(math.atan2(-dy, -dx)) + 90
        aim = aim % 360
        if aim < 120 or aim > 240:
            # Out of the tongue's reach sideways: walk under it.
            s.tap("Left" if dx < 0 else "Right", 6)
            return
        mouse_x = round((aim + 180) * 800 / 720) % 800
        s.send(f"move {mouse_x} 300")
        reach = math.hypot(dx, dy) - 30
        grow = max(1, min(14, math.ceil((reach - length) / 30)))
        s.send("down Space", f"ticks {grow}", "up Space")
        s.ticks(2)

    def dodge_stork(self, st):
        """Walks the frog out from under the stork's head; true when it had to."""
        if st["paused"] or st["exitPrompt"] or st["level"] >= self.plan.get("storkFrom", 99):
            return False
        actors = st["actors"]
        frog = next((a for a in actors if a[0] == "TPlayerSpriteEat"), None)
        storks = [a for a in actors if a[0] == "TAist"]
        if frog is None or not storks:
            return False
        self.seen["stork"] = True
        _, fx, _fy, fw, _fh = frog
        _, sx, _sy, sw, _sh = storks[0]
        margin = 25
        if fx + fw < sx - margin or fx > sx + sw + margin:
            return False
        left = (fx + fw) - (sx - margin) if sx - margin - fw >= 0 else None
        right = (sx + sw + margin) - fx if sx + sw + margin + fw <= 800 else None
        if DEBUG:
            print("stork", st["t"], frog, storks[0], left, right, file=sys.stderr)
        if left is None and right is None:
            return False
        go_left = right is None or (left is not None and left <= right)
        self.s.send("up Space")
        self.s.tap("Left" if go_left else "Right", 3)
        return True

    # ---- game over
    def game_over(self, st):
        s = self.s
        if st["timer1"]:
            s.ticks(10)
            return
        if st["enterName"]:
            name = self.plan.get("name", "Квакша")
            s.send("click 400 330", "ticks 3")
            for _ in range(12):
                s.send("key Backspace")
            s.send(f"type {name}", "ticks 5", "key Enter", "ticks 10")
            self.seen["nameTyped"] = name
        else:
            s.send("key Enter", "ticks 10")

    def play(self):
        s = self.s
        s.send("wait 4200", "move 120 40", "key Enter")
        last = None
        last_names = set()
        for _ in range(20000):
            st = s.peek()
            scene = st["scene"]
            self.seen["maxLevel"] = max(self.seen["maxLevel"], st["level"])
            if last:
                if st["lives"] < last["lives"]:
                    self.seen["livesLost"] += 1
                    if last["scene"] == "SceneFeeding" and self.seen["stork"]:
                        self.seen["storkTookLife"] = True
                if st["lives"] > last["lives"] or (scene == "ScenePond" and st["score"] - last["score"] > 5
                                                   and last["scene"] == "ScenePond"):
                    self.seen["pickups"] += 1
                if last["scene"] == "SceneFeeding" and scene == "SceneFeeding":
                    gained = st["score"] - last["score"]
                    for name, points in INSECTS.items():
                        if gained == points:
                            self.seen["insectsEaten"].add(name)
                if last["scene"] == "SceneFeeding" and scene == "ScenePond":
                    self.seen["feedingStagesFinished"] += 1
                names = {a[0] for a in st["actors"]}
                if "TKroko" in names:
                    self.seen["crocodile"] = True
                if "TBrizgi" in names and "TBrizgi" not in last_names:
                    self.seen["fell"] += 1
                for p in ("TDollar", "TLife"):
                    if p in names:
                        self.seen["pickupsSeen"].add(p)
                if st["lives"] > last["lives"]:
                    self.seen["heartsTaken"] += 1
                last_names = names
            last = st
            if DEBUG:
                print(st["t"], scene, st["lives"], st["score"], st["frogColumn"], st["frogFacing"],
                      st["stoneRow"], [r[st["frogColumn"]][0] for r in st["grid"]],
                      st["controllable"], st["scrolling"], file=sys.stderr)
            if scene in ("SceneMainMenu", "SceneHighScores"):
                break
            if st["level"] > self.plan.get("stopAfterLevel", 99):
                break
            if scene == "ScenePond":
                if "careful" in self.plan:
                    self.pond_careful(st)
                else:
                    self.pond(st)
            elif scene == "SceneFeeding":
                if "careful" in self.plan and self.dodge_stork(st):
                    continue
                self.feeding(st)
            elif scene == "SceneGameOver":
                self.game_over(st)
            else:
                s.ticks(5)
        s.send("state")
        s.close()
        out = {k: sorted(v) if isinstance(v, set) else v for k, v in self.seen.items()}
        out["score"], out["level"], out["lives"], out["scene"] = (
            last["score"], last["level"], last["lives"], last["scene"])
        return out


def main():
    args = sys.argv[1:]
    gamedir = log = None
    if "--dir" in args:
        i = args.index("--dir"); gamedir = args[i + 1]; del args[i:i + 2]
    if "--log" in args:
        i = args.index("--log"); log = args[i + 1]; del args[i:i + 2]
    if len(args) != 4:
        raise SystemExit(__doc__)
    sim, seed, plan, out = args
    plan = json.loads(plan)
    result = Player(Sim(sim, int(seed), out, gamedir, log), plan).play()
    print(json.dumps(result, ensure_ascii=False))


if __name__ == "__main__":
    main()
