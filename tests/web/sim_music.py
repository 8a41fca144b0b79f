#!/usr/bin/env python3
"""The game's music in the browser build's tinokvak-sim under Node beside the desktop's: a
minute on the menus, past the end of the menu's tune, gives the same states and the same
sound but for what Vorbis leaves out (figures printed, a floor asserted); with the menu's
module damaged, both say so in the same words and go on silent with the same states and,
the music gone, the very same samples.

    sim_music.py DESKTOP-SIM GAMEDIR SCRIPT OUTDIR -- NODE... SIM.js
"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tunes  # noqa: E402


def main():
    split = sys.argv.index("--")
    desktop, game, script, out = [os.path.abspath(x) for x in sys.argv[1:split]]
    web = [os.path.abspath(x) if os.path.exists(x) else x for x in sys.argv[split + 1:]]
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    damaged = os.path.join(out, "game")
    os.makedirs(os.path.join(damaged, "Music"))
    for entry in os.listdir(game):
        if entry != "Music":
            os.symlink(os.path.join(game, entry), os.path.join(damaged, entry))
    for entry in os.listdir(os.path.join(game, "Music")):
        shutil.copy(os.path.join(game, "Music", entry), os.path.join(damaged, "Music", entry))
    with open(os.path.join(damaged, "Music", "1.xm"), "r+b") as f:
        f.truncate(300)
    failures = []

    def run(label, cmd):
        p = subprocess.run(cmd, capture_output=True, text=True, cwd=out, timeout=900)
        if p.returncode != 0:
            sys.exit("FAIL: %s exited %d: %s" % (label, p.returncode, p.stderr[-2000:]))
        return p

    for label, folder in (("as shipped", game), ("damaged", damaged)):
        d_wav, w_wav = os.path.join(out, label + ".desktop.wav"), os.path.join(out, label + ".web.wav")
        d = run("desktop", [desktop, "--dir", folder, "--audio", d_wav, script])
        w = run("browser", web + ["--dir", folder, "--audio", w_wav, script])
        if d.stdout != w.stdout:
            failures.append("%s: the states differ" % label)
        if d.stderr != w.stderr:
            failures.append("%s: the messages differ: %r, %r" % (label, d.stderr, w.stderr))
        a, b = tunes.read_wav(d_wav), tunes.read_wav(w_wav)
        snr, corr = tunes.compare(a, b)
        print("%s: same states; %.1f dB signal to noise, correlation %.4f; messages %r"
              % (label, snr, corr, w.stderr.strip()))
        if label == "as shipped":
            if not (snr >= tunes.MIN_SNR_DB and corr >= tunes.MIN_CORRELATION):
                failures.append("as shipped: the browser's music is too far from the desktop's")
        else:
            if "1.xm: the module is damaged" not in w.stderr:
                failures.append("damaged: not told which module is damaged")
            if a != b:
                failures.append("damaged: the samples differ with no music playing")
    for f in failures:
        print("FAIL:", f)
    if failures:
        sys.exit(1)
    print("ok")


if __name__ == "__main__":
    main()
