#!/bin/sh
# Builds and runs the Smart Contrast benchmarks (native, optimised) and prints each figure beside its scalar
# oracle and the OpenCV anchor, as medians over repetitions, with the ratios and targets.
# OpenCV (Debian libopencv-dev) is a benchmark-only dependency: installed here when missing, found by CMake
# only if present, and never linked into the program.
#   scripts/bench.sh [benchmark-filter-regex]
#   scripts/bench.sh fusion    # exposure fusion: whole run, preview from tile files, tile preparation
set -eu
cd "$(dirname "$0")/.."
if ! dpkg -s libopencv-dev >/dev/null 2>&1; then
    if [ "$(id -u)" = 0 ]; then
        apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends libopencv-dev ||
            echo "bench.sh: OpenCV could not be installed; the anchor is skipped"
    else
        echo "bench.sh: libopencv-dev is not installed (run as root to install it); the anchor is skipped"
    fi
fi
build=build/bench
cmake --preset linux -B "$build" -DCMAKE_BUILD_TYPE=Release -DSP_BENCH_OPENCV=ON >/dev/null
targets=sp_bench
if grep -q "^OpenCV_DIR:PATH=.*opencv" "$build/CMakeCache.txt" 2>/dev/null; then
    targets="sp_bench sp_bench_opencv"
fi
cmake --build "$build" -j 2 --target $targets
exe="$build/bench/sp_bench"
[ -x "$build/bench/sp_bench_opencv" ] && exe="$build/bench/sp_bench_opencv"
filter=${1:-'Contrast|OpenCv|Plane'}
[ "$filter" = fusion ] && filter='FusionFinal|FusionPreview|PrepareTiles|PlainWrites'

out="$build/contrast_bench.json"
echo "=== $exe (load average: $(cut -d' ' -f1-3 /proc/loadavg))"
"$exe" --benchmark_filter="$filter" --benchmark_out="$out" --benchmark_out_format=json
python3 - "$out" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
med = {}
extra = {}
for r in runs:
    if r.get("aggregate_name") == "median":
        name = r["run_name"].split("/repeats")[0].split("/iterations")[0]
        med[name] = r["real_time"]
        if "bytes_per_px" in r:
            extra[name] = r["bytes_per_px"]
def show(label, fast, ref=None, anchor=None, limit=None):
    if fast not in med:
        return
    line = f"{label:<34} {med[fast]:9.1f} ms"
    if limit is not None:
        line += f"  (target <= {limit} ms: {'met' if med[fast] <= limit else 'MISSED'})"
    if ref in med:
        line += f"  | scalar oracle {med[ref]:8.1f} ms, {med[ref] / med[fast]:5.1f}x"
    if anchor in med:
        ratio = med[anchor] / med[fast]
        line += f"  | OpenCV {med[anchor]:6.1f} ms, {ratio:4.2f}x (target >= 3x: {'met' if ratio >= 3 else 'MISSED'})"
    print(line)
print("\nmedians (real time)")
show("ApplySmartContrast colour", "BM_ApplySmartContrast/3", "BM_ApplySmartContrastRef", "BM_OpenCvCollapse", 40)
show("ApplySmartContrast grey", "BM_ApplySmartContrast/1")
for i, isa in ((1, "SSE2"), (2, "AVX2")):
    show(f"  colour, 1 thread, {isa}", f"BM_ApplySmartContrastOneThread/{i}")
show("ApplySmartContrast scalar path", "BM_ApplySmartContrastScalarPath")
show("Build colour", "BM_ContrastBuild/3", "BM_ContrastBuildRef/3", None, 400)
show("Build grey", "BM_ContrastBuild/1", None, None, 400)
show("ReducePlane 6000x4000", "BM_ReducePlane", "BM_ReducePlaneRef")
show("ExpandPlane 6000x4000", "BM_ExpandPlane", "BM_ExpandPlaneRef")
show("Fusion whole run 6000x4000, N 15", "BM_FusionFinal", "BM_FusionFinalRef", None, 3000)
show("  program's scalar path", "BM_FusionFinalScalarPath")
show("Fusion preview incl. 15 tile crops", "BM_FusionPreviewFromTiles", None, None, 100)
show("  same crops already in memory", "BM_FusionPreview")
show("  crops from whole-tile reads", "BM_FusionPreviewWholeTileReads")
show("39 tiles, write overlapping render", "BM_PrepareTiles/1")
show("39 tiles, one after the other", "BM_PrepareTiles/0")
show("39 plain writes of the same bytes", "BM_PlainWrites")
if "BM_PrepareTiles/1" in med and "BM_PlainWrites" in med:
    ratio = med["BM_PrepareTiles/1"] / med["BM_PlainWrites"]
    print(f"tile preparation / plain writes      {ratio:5.2f}x (target <= 1.5x: {'met' if ratio <= 1.5 else 'MISSED'})")
for name, limit in (("BM_ContrastBuild/3", 20), ("BM_ContrastBuild/1", 7)):
    if name in extra:
        kind = "colour" if name.endswith("/3") else "grey"
        ok = "met" if extra[name] <= limit else "MISSED"
        print(f"pyramid memory, {kind:<6}              {extra[name]:6.2f} bytes per pixel (target <= {limit}: {ok})")
PY
