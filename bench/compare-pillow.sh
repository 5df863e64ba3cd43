#!/usr/bin/env bash
# The Floyd–Steinberg step per pixel of the frame pipeline (tone pass and error diffusion on
# luma) against Pillow's Image.convert('1') (error diffusion of a grey image) on the same
# 400 x 240 picture. Prints both figures and their ratio; goal: at most half of Pillow's time.
set -euo pipefail
build=${1:-build/linux}
# Debian's interpreter, which has python3-pil, whatever python3 comes first in PATH.
python=${PYTHON:-/usr/bin/python3}
"$python" -c 'import PIL' 2>/dev/null || { echo "skipped: $python has no Pillow (python3-pil)"; exit 0; }
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$python" "$here/make-picture.py" "$tmp/picture.png"

VL_BENCH_PICTURE="$tmp/picture.png" "$build/bench/bench_pipeline" \
  --benchmark_filter=BM_FloydSteinbergPerPixel --benchmark_format=json --benchmark_min_time=1 >"$tmp/ours.json"

"$python" - "$tmp/picture.png" "$tmp/ours.json" <<'PY'
import json, sys, time, timeit
from PIL import Image
grey = Image.open(sys.argv[1]).convert("L")
pixels = grey.width * grey.height
runs = 2000
# Processor time, as the benchmark reports its own figure, so other load on the machine counts for neither.
best = min(timeit.repeat(lambda: grey.convert("1"), number=runs, repeat=5, timer=time.process_time)) / runs
pillow_ns = best / pixels * 1e9
ours = json.load(open(sys.argv[2]))["benchmarks"][0]
assert ours["time_unit"] == "us"
ours_ns = ours["cpu_time"] * 1e3 / ours["pixels"]
print(f"picture: {grey.width} x {grey.height}")
print(f"vantela Floyd-Steinberg step: {ours_ns:7.3f} ns/pixel")
print(f"Pillow convert('1'):          {pillow_ns:7.3f} ns/pixel")
print(f"ratio Pillow / vantela:       {pillow_ns / ours_ns:7.2f}x (goal >= 2: at most half of Pillow's time)")
PY
