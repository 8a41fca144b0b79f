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
                self.pond(st)
            elif scene == "SceneFeeding":
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
