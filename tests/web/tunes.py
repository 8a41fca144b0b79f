#!/usr/bin/env python3
"""The browser build's module player under Node beside the desktop's (libxmp), each run by
tinokvak-tunes-probe of its build:

- every tune played for two rounds and a second in blocks of changing sizes: the order
  reported after every block is the same on both, and the one the prepared positions give,
  across both wraps back to order 0; the sound is libxmp's but for what Vorbis leaves out
  (signal to noise and correlation printed, a floor asserted), and both are written to WAV
  files in the output folder to be heard;
- prepared music arriving late: silent at order 0 until it is there, then the tune from its
  start with the same orders as from the start;
- damaged modules refused alike, with the same words; a module not among the prepared
  tunes, or prepared music that is damaged, loads and plays silently with one clear line;
- the Vorbis decoding gives the same samples under Node as natively, and again after going
  back to the start.

    tunes.py --desktop BUILD --data DATA --out DIR -- NODE... PROBE.js
"""
import argparse
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile

MIN_SNR_DB = 18.0
MIN_CORRELATION = 0.98

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def run(cmd, env=None, cwd=None):
    p = subprocess.run(cmd, capture_output=True, text=True, env=env, cwd=cwd, timeout=600)
    if p.returncode != 0:
        sys.exit("FAIL: %s exited %d\n%s%s" % (" ".join(cmd), p.returncode, p.stdout[-2000:], p.stderr[-2000:]))
    return p


def read_wav(path):
    with open(path, "rb") as f:
        data = f.read()
    assert data[:4] == b"RIFF" and data[36:40] == b"data", path
    n = struct.unpack_from("<I", data, 40)[0]
    return struct.unpack_from("<%dh" % (n // 2), data, 44)


def compare(ref, got):
    """Signal-to-noise of got against ref in dB, and their correlation."""
    n = min(len(ref), len(got))
    sig = noise = sg = sr = srg = 0.0
    for i in range(n):
        a, b = ref[i], got[i]
        sig += a * a
        noise += (a - b) * (a - b)
        sg += b * b
        srg += a * b
    snr = 10 * math.log10(sig / noise) if noise else float("inf")
    corr = srg / math.sqrt(sig * sg) if sig and sg else 0.0
    return snr, corr


def read_tunes(path):
    """name -> (rate, length, loop_to, marks) of a prepared music file."""
    b = open(path, "rb").read()
    assert b[:8] == b"TKMUSIC\x01", path
    at = 8
    (count,) = struct.unpack_from("<I", b, at)
    at += 4
    tunes = {}
    for _ in range(count):
        (n,) = struct.unpack_from("<I", b, at)
        name = b[at + 4:at + 4 + n].decode()
        at += 4 + n
        _key, _size, rate, length, loop_to, seam = struct.unpack_from("<QIIIII", b, at)
        at += 28 + 4 * seam
        (nm,) = struct.unpack_from("<I", b, at)
        at += 4
        marks = [struct.unpack_from("<IHH", b, at + 8 * i) for i in range(nm)]
        at += 8 * nm
        (nv,) = struct.unpack_from("<I", b, at)
        at += 4 + nv
        tunes[name] = (rate, length, loop_to, marks)
    return tunes


def expected_order(tune, played):
    """The order libxmp reports once `played` frames are played, from the prepared marks."""
    _rate, length, loop_to, marks = tune
    if played == 0:
        return 0
    last = played - 1
    if last >= length:
        last = loop_to + (last - length) % (length - loop_to)
    order = 0
    for frame, o, _row in marks:
        if frame > last:
            break
        order = o
    return order


def orders(stdout):
    """(handle line, [(frames, order)], arrival frame or None) of a probe's play output."""
    lines = stdout.splitlines()
    arrived = None
    pairs = []
    for line in lines[1:]:
        if line.startswith("arrived "):
            arrived = int(line.split()[1])
        else:
            f, o = line.split()
            pairs.append((int(f), int(o)))
    return lines[0], pairs, arrived


def wraps(pairs):
    return sum(1 for (_, a), (_, b) in zip(pairs, pairs[1:]) if a != 0 and b == 0)


def xm_instrument_start(module):
    (header,) = struct.unpack_from("<I", module, 60)
    patterns, = struct.unpack_from("<H", module, 70)
    at = 60 + header
    first_pattern = at
    for _ in range(patterns):
        (length,) = struct.unpack_from("<I", module, at)
        (packed,) = struct.unpack_from("<H", module, at + 7)
        at += length + packed
    return first_pattern, at


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--desktop", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("web", nargs="+")
    a = ap.parse_args()
    desktop_probe = [os.path.abspath(os.path.join(a.desktop, "tinokvak-tunes-probe"))]
    web_probe = [os.path.abspath(x) if os.path.exists(x) else x for x in a.web]
    game = os.path.join(a.desktop, "game")
    tunes_path = os.path.join(a.data, "music.tkm")
    if not os.access(desktop_probe[0], os.X_OK):
        sys.exit("FAIL: no desktop build at %s (build tinokvak-tunes-probe there first)" % a.desktop)
    shutil.rmtree(a.out, ignore_errors=True)
    os.makedirs(a.out)
    tunes = read_tunes(tunes_path)
    web_env = dict(os.environ, TK_WEB_DATA=a.data)

    # Both players through both wraps.
    for name in sorted(tunes):
        tune = tunes[name]
        rate, length = tune[0], tune[1]
        frames = 2 * length + rate
        module = os.path.join(game, "Music", name)
        stem = os.path.splitext(name)[0]
        d_wav = os.path.join(a.out, stem + ".desktop.wav")
        w_wav = os.path.join(a.out, stem + ".web.wav")
        d = run(desktop_probe + ["play", module, str(frames), d_wav])
        w = run(web_probe + ["play", module, str(frames), w_wav], env=web_env)
        dh, dp, _ = orders(d.stdout)
        wh, wp, _ = orders(w.stdout)
        check(dh == wh and dh.startswith("handle 1"), "%s: loads as %r on the desktop, %r in the browser" % (name, dh, wh))
        check(wraps(dp) == 2, "%s: the desktop's player wraps %d times in two rounds" % (name, wraps(dp)))
        bad = [(f, o, expected_order(tune, f)) for f, o in dp if o != expected_order(tune, f)]
        check(not bad, "%s: the prepared positions differ from libxmp's at %s" % (name, bad[:5]))
        diff = [(x, y) for x, y in zip(dp, wp) if x != y]
        check(len(dp) == len(wp) and not diff, "%s: orders differ (desktop, browser) at %s" % (name, diff[:5]))
        snr, corr = compare(read_wav(d_wav), read_wav(w_wav))
        # Just after the first wrap, where the seam plays.
        ref, got = read_wav(d_wav), read_wav(w_wav)
        s0, s1 = 2 * length, 2 * (length + rate // 10)
        seam_snr, _ = compare(ref[s0:s1], got[s0:s1])
        print("%s: %d blocks, orders equal, %.1f dB signal to noise, correlation %.4f; "
              "%.1f dB over the 100 ms after the wrap" % (name, len(dp), snr, corr, seam_snr))
        check(snr >= MIN_SNR_DB and corr >= MIN_CORRELATION,
              "%s: the browser's sound is too far from libxmp's (%.1f dB, %.4f)" % (name, snr, corr))
        check(seam_snr >= MIN_SNR_DB, "%s: the wrap sounds unlike libxmp's (%.1f dB)" % (name, seam_snr))

    # A device at another rate: the browser's player draws the tune between its frames at
    # the same pace, libxmp renders at that rate (its frames rounded to whole samples there,
    # so the two drift apart by milliseconds over a round: only the start is compared).
    name = sorted(tunes)[-1]
    module = os.path.join(game, "Music", name)
    frames = 2 * tunes[name][1] * 48000 // tunes[name][0] + 24000
    d_wav, w_wav = os.path.join(a.out, "48000.desktop.wav"), os.path.join(a.out, "48000.web.wav")
    d = run(desktop_probe + ["play", module, str(frames), d_wav, "48000"])
    w = run(web_probe + ["play", module, str(frames), w_wav, "48000"], env=web_env)

    def changes(pairs):
        return [(f, o) for (_, o0), (f, o) in zip(pairs, pairs[1:]) if o != o0]
    dc, wc = changes(orders(d.stdout)[1]), changes(orders(w.stdout)[1])
    check([o for _, o in dc] == [o for _, o in wc] and all(abs(x[0] - y[0]) <= 4096 for x, y in zip(dc, wc)),
          "48000 Hz: the orders change at %s on the desktop, %s in the browser" % (dc, wc))
    snr, corr = compare(read_wav(d_wav)[:2 * 24000], read_wav(w_wav)[:2 * 24000])
    print("%s at 48000 Hz: orders change alike (%d changes); %.1f dB, correlation %.4f over the first 0.5 s"
          % (name, len(dc), snr, corr))
    check(snr >= MIN_SNR_DB - 6 and corr >= 0.95, "48000 Hz: the start sounds unlike libxmp's (%.1f dB)" % snr)

    # Prepared music arriving late.
    name = sorted(tunes)[0]
    tune = tunes[name]
    late = tempfile.mkdtemp(dir=a.out)
    at = 100000
    wav = os.path.join(a.out, "late.wav")
    w = run(web_probe + ["play", os.path.join(game, "Music", name), str(at + tune[0] * 5), wav, "44100",
                         str(at), tunes_path, os.path.join(late, "music.tkm")],
            env=dict(os.environ, TK_WEB_DATA=late))
    _, wp, arrived = orders(w.stdout)
    check(arrived is not None, "late: the music never arrived")
    before = [o for f, o in wp if f <= arrived]
    check(set(before) == {0}, "late: orders before the music came: %s" % sorted(set(before)))
    samples = read_wav(wav)
    check(not any(samples[:2 * arrived]), "late: sound before the music came")
    check(any(samples[2 * arrived:]), "late: silent after the music came")
    bad = [(f, o) for f, o in wp if f > arrived and o != expected_order(tune, f - arrived)]
    check(not bad, "late: orders after the music came differ from its start's at %s" % bad[:5])
    print("late: silent at order 0 for %d frames, then the tune from its start" % arrived)

    # Damaged modules, refused alike.
    module = open(os.path.join(game, "Music", name), "rb").read()
    patterns, instruments = xm_instrument_start(module)
    damaged = {
        "empty.xm": b"",
        "text.xm": b"not a module at all",
        "short.xm": module[:10],
        "magic.xm": module[:17],
        "cut200.xm": module[:200],
        "cutpattern.xm": module[:(patterns + instruments) // 2],
        "cutinstrument10.xm": module[:instruments + 10],
        "cutinstrument100.xm": module[:instruments + 100],
        "cutsamples.xm": module[:(instruments + len(module)) // 2],
        "changed.xm": module[:-1] + bytes([module[-1] ^ 0x55]),
        "whole.xm": module,
    }
    work = os.path.join(a.out, "damaged")
    os.makedirs(work)
    for n, b in damaged.items():
        with open(os.path.join(work, n), "wb") as f:
            f.write(b)
    names = sorted(damaged)
    d = run(desktop_probe + ["load"] + names, cwd=work)
    w = run(web_probe + ["load"] + names, cwd=work, env=web_env)
    for dl, wl in zip(d.stdout.splitlines(), w.stdout.splitlines()):
        check(dl == wl, "damaged: desktop %r, browser %r" % (dl, wl))
    check(len(d.stdout.splitlines()) == len(names) == len(w.stdout.splitlines()), "damaged: a file not reported")
    print("damaged modules:\n  " + "\n  ".join(d.stdout.splitlines()))

    # Loaded but silent: a module not prepared, prepared music that is damaged.
    broken = tempfile.mkdtemp(dir=a.out)
    data = open(tunes_path, "rb").read()
    with open(os.path.join(broken, "music.tkm"), "wb") as f:
        f.write(data[:len(data) // 2])
    for label, mod, env, words in [
            ("changed module", os.path.join(work, "changed.xm"), web_env, "not among the tunes prepared"),
            ("damaged music.tkm", os.path.join(game, "Music", name), dict(os.environ, TK_WEB_DATA=broken),
             "ends too soon")]:
        wav = os.path.join(a.out, "silent.wav")
        w = run(web_probe + ["play", mod, str(44100 * 2), wav], env=env)
        head, wp, _ = orders(w.stdout)
        check(head.startswith("handle 1"), "%s: does not load (%r)" % (label, head))
        check(words in w.stderr and w.stderr.count("\n") == 1,
              "%s: not told once in clear words: %r" % (label, w.stderr))
        check(not any(read_wav(wav)) and {o for _, o in wp} == {0}, "%s: not silent at order 0" % label)
        print("%s: silent, told %r" % (label, w.stderr.strip()))

    # The decoding: the same under Node as natively, and after a seek back to the start.
    dd, wd = os.path.join(a.out, "decoded-desktop"), os.path.join(a.out, "decoded-web")
    os.makedirs(dd)
    os.makedirs(wd)
    run(desktop_probe + ["decode", tunes_path, dd])
    run(web_probe + ["decode", tunes_path, wd], env=web_env)
    for name in sorted(tunes):
        same = open(os.path.join(dd, name + ".wav"), "rb").read() == open(os.path.join(wd, name + ".wav"), "rb").read()
        check(same, "%s: Node's decoding differs from the native one" % name)
    print("decoding: the same samples natively and under Node, and again from the start")

    if failures:
        sys.exit("%d failures" % len(failures))
    print("ok")


if __name__ == "__main__":
    main()
