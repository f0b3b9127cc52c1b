#!/bin/sh
# The Windows program itself, timed under Wine through its real main window and dialogs, step by step, on a
# 6000 x 4000 and a 12000 x 8000 photo-like picture with a 3840 x 2160 client area (a maximised window on a 4K
# screen). Each step prints the median of several runs beside the native core's figure for the same work,
# measured in the same script run (scripts/bench.sh's benchmarks; at 96 MP the 24 MP figure times four), with
# huge pages and with 4 KB pages, the ratios, and the working set and peak memory after the step.
#   scripts/bench-program.sh                 # 3 runs of each size
#   SP_BENCH_RUNS=5 SP_BENCH_SIZES=6000x4000 scripts/bench-program.sh
#   SP_BENCH_LOOK_MS=0 scripts/bench-program.sh   # OK at once, without the usual look at the preview
# Needs about 12 GB free disk for the tiles of the large picture; the large size takes several minutes a run.
set -eu
cd "$(dirname "$0")/.."
runs=${SP_BENCH_RUNS:-3}
sizes=${SP_BENCH_SIZES:-"6000x4000 12000x8000"}
# How long a user looks at the Fusion dialog's preview before OK.
look=${SP_BENCH_LOOK_MS:-1500}
client=3840x2160
root=$(pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

echo "=== building"
cmake --preset windows >/dev/null && cmake --build --preset windows -j2 --target win_robust_tests >/dev/null
# The native figures come from the optimised build scripts/bench.sh uses, as the program is optimised too.
cmake --preset linux -B build/bench -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build build/bench -j2 --target sp_bench >/dev/null

# The core natively, twice: as it runs (huge pages where the system has them) and with the 4 KB pages a
# Windows program gets (SP_HUGE_PAGES=0); faults on fresh pages are much of what separates the two.
# The whole fusion as the program runs it at OK: renderings made again from the source, and after a look at
# the preview on planes the dialog made ahead.
ahead=1
[ "$look" = 0 ] && ahead=0
native_figures() {
    SP_HUGE_PAGES=$1 ./build/bench/bench/sp_bench --benchmark_format=json --benchmark_out="$out/native$1.json" \
        --benchmark_filter="BM_ContrastBuild/3/|BM_ApplySmartContrast/3/|BM_FusionFinalAsProgram/$ahead/|BM_FusionPreviewCropsFromSource$2" \
        >/dev/null 2>&1
    python3 - "$out/native$1.json" "$ahead" <<'PY'
import json, sys
rows = json.load(open(sys.argv[1]))["benchmarks"]
def median(prefix):
    med = [r["real_time"] for r in rows if r["name"].startswith(prefix) and r.get("aggregate_name") == "median"]
    if med:
        return med[0]
    runs = sorted(r["real_time"] for r in rows if r["name"].startswith(prefix) and r.get("run_type") == "iteration")
    return runs[len(runs) // 2] if runs else 0.0
build, apply = median("BM_ContrastBuild/3/"), median("BM_ApplySmartContrast/3/")
final = median("BM_FusionFinalAsProgram/%s/" % sys.argv[2])
preview, tiles = median("BM_FusionPreviewCropsFromSource"), median("BM_PrepareTiles/1/")
# Program step -> the core's work for it, in seconds.
print("Smart Contrast: open (pyramid, render)\t%f" % ((build + apply) / 1000))
print("Smart Contrast: slider change until shown\t%f" % (apply / 1000))
if tiles:
    print("Solvane UP: prepare + first preview\t%f" % ((tiles + preview) / 1000))
print("Solvane UP: preview after a drag\t%f" % (preview / 1000))
print("Solvane UP: whole fusion (OK)\t%f" % (final / 1000))
PY
}
echo "=== native core (24 MP, medians; huge pages / 4 KB pages)"
# The tiles' preparation is the disk's work: measured once.
native_figures 1 '|BM_PrepareTiles/1/' >"$out/native.txt"
native_figures 0 '' >"$out/native4k.txt"
python3 - "$out/native.txt" "$out/native4k.txt" <<'PY'
import sys
small = dict(l.rstrip("\n").split("\t") for l in open(sys.argv[2]))
for line in open(sys.argv[1]):
    name, t = line.rstrip("\n").split("\t")
    print("  %-42s %8.3fs %9s" % (name, float(t), "%.3fs" % float(small[name]) if name in small else "-"))
PY

w=${client%x*}
h=${client#*x}
screen="$((w + 160))x$((h + 240))"
for size in $sizes; do
    echo "=== the program, $size, client $client, $runs runs, ${look} ms on the preview before OK"
    (
        cd build/windows/tests/robust
        SP_BIGPHOTO_SIZE=$size SP_BIGPHOTO_CLIENT=$client SP_BIGPHOTO_LOOK_MS=$look xvfb-run -a -s "-screen 0 ${screen}x24" \
            "$root/cmake/wine-run.sh" --desktop="$screen" ./win_robust_tests.exe --gtest_also_run_disabled_tests \
            --gtest_filter='BigPhoto.*' --gtest_repeat="$runs" 2>&1
    ) | grep -E '^\[bigphoto\]|FAILED|Failure' >"$out/program.txt" || true
    grep -E 'FAILED|Failure' "$out/program.txt" || true
    grep 'client area' "$out/program.txt" | head -1
    scale=1
    [ "$size" = 12000x8000 ] && scale=4
    python3 - "$out/program.txt" "$out/native.txt" "$out/native4k.txt" "$scale" <<'PY'
import re, sys, statistics
steps, order = {}, []
for line in open(sys.argv[1]):
    m = re.match(r"\[bigphoto\] (.+?)\s+([0-9.]+) s\s+working set\s+(\d+) MB, peak so far\s+(\d+) MB", line)
    if not m or "test setup" in m.group(1):
        continue
    name = m.group(1).strip()
    if name not in steps:
        steps[name] = []
        order.append(name)
    steps[name].append((float(m.group(2)), int(m.group(3)), int(m.group(4))))
native = dict(l.rstrip("\n").split("\t") for l in open(sys.argv[2]))
native4k = dict(l.rstrip("\n").split("\t") for l in open(sys.argv[3]))
scale = float(sys.argv[4])
print("  %-42s %9s %9s %7s %9s %7s %12s %10s" % ("step", "program", "native", "ratio", "native 4K", "ratio",
                                               "working set", "peak"))
for name in order:
    runs = steps[name]
    t = statistics.median(r[0] for r in runs)
    ws = statistics.median(r[1] for r in runs)
    peak = max(r[2] for r in runs)
    n = float(native[name]) * scale if name in native else None
    k = float(native4k[name]) * scale if name in native4k else None
    print("  %-42s %8.3fs %9s %7s %9s %7s %9d MB %7d MB" % (name, t, "%.3fs" % n if n else "-",
          "%.1fx" % (t / n) if n else "-", "%.3fs" % k if k else "-", "%.1fx" % (t / k) if k else "-", ws, peak))
PY
done
