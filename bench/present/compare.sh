#!/usr/bin/env bash
# Presenting a frame in a 3840 x 2160 window under Xvfb, for one build or two side by side:
#
#   bench/present/compare.sh AFTER_BUILD [BEFORE_BUILD] [REPS]
#
# Each build's bench_present, REPS times (default 3), the builds taking turns on one X server
# so both see the same load: the floor (Present_PlainLetterboxCopy: the picture already
# scaled, a memcpy and a shared-memory put of the same area), a changed frame
# (Present_Surface), a changed band of 40 rows (Present_SurfaceBand) and the scaler alone
# (Scale_Only). Printed: each figure's median over the turns, wall and CPU (the benchmark
# process's; the X server's work is in the wall time only), and the changed frame over
# its floor.
set -euo pipefail
after=$(realpath "$1")
before=${2:+$(realpath "$2")}
reps=${3:-3}
builds=("$after"); [ -n "$before" ] && builds=("$before" "$after")
name() { [ "$1" = "$after" ] && echo after || echo before; }
for b in "${builds[@]}"; do
  [ -x "$b/bench/present/bench_present" ] || { echo "no bench/present/bench_present in $b"; exit 1; }
done
source "$(dirname "$0")/../../tests/e2e/xvfb_lib.sh"
start_xvfb 3840x2160
filter='(Present_PlainLetterboxCopy|Present_Surface|Present_SurfaceBand|Scale_Only)/3840/2160'
for _ in $(seq "$reps"); do
  for b in "${builds[@]}"; do
    "$b/bench/present/bench_present" --benchmark_filter="$filter" --benchmark_format=csv \
      2>/dev/null | grep '^"' | sed "s/^/$(name "$b"),/" >>"$tmp/runs.csv"
  done
done
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); 3840 x 2160, $reps turns"
python3 - "$tmp/runs.csv" <<'PY'
import csv, statistics, sys
runs = {}
for row in csv.reader(open(sys.argv[1])):
    build, bench, real, cpu = row[0], row[1].split("/")[0], float(row[3]), float(row[4])
    unit = row[5]
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0}[unit]
    runs.setdefault((build, bench), []).append((real * scale, cpu * scale))
for build in ("before", "after"):
    got = {b: v for (bl, b), v in runs.items() if bl == build}
    if not got:
        continue
    med = {b: (statistics.median(r for r, _ in v), statistics.median(c for _, c in v)) for b, v in got.items()}
    for b in ("Present_PlainLetterboxCopy", "Present_Surface", "Present_SurfaceBand", "Scale_Only"):
        if b in med:
            print(f"{build:6} {b:27} {med[b][0]:7.2f} ms wall {med[b][1]:7.2f} ms CPU")
    if "Present_Surface" in med and "Present_PlainLetterboxCopy" in med:
        f, s = med["Present_PlainLetterboxCopy"], med["Present_Surface"]
        print(f"{build:6} changed frame / floor: {s[0] / f[0]:.2f}x wall, {s[1] / f[1]:.2f}x CPU")
PY
