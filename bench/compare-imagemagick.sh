#!/usr/bin/env bash
# Whole-process time of vantela-preview (default settings: Floyd–Steinberg) against ImageMagick's
# convert -dither FloydSteinberg -monochrome on the same 400 x 240 picture. Prints both figures
# and their ratio; goal: vantela-preview in at most 0.05 of the time (20 times faster).
# BEFORE=path/to/an/earlier/vantela-preview times that one as well, for a before/after figure.
# The commands take turns run by run, so that a change in the machine's load hits them alike.
set -euo pipefail
build=${1:-build/linux}
# Debian's interpreter, which has python3-pil, whatever python3 comes first in PATH.
python=${PYTHON:-/usr/bin/python3}
"$python" -c 'import PIL' 2>/dev/null || { echo "skipped: $python has no Pillow (python3-pil)"; exit 0; }
command -v convert >/dev/null || { echo "skipped: ImageMagick (convert) is not installed"; exit 0; }
runs=${RUNS:-30}
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$python" "$here/make-picture.py" "$tmp/picture.png"

"$python" - "$build/tools/vantela-preview" "$tmp" "$runs" "${BEFORE:-}" <<'PY'
import subprocess, sys, time
preview, tmp, runs, before = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
picture = f"{tmp}/picture.png"
commands = {
    "vantela-preview": [preview, picture, f"{tmp}/preview.png"],
    "ImageMagick convert": ["convert", picture, "-dither", "FloydSteinberg", "-monochrome", f"{tmp}/magick.png"],
}
if before:
    commands["preview before"] = [before, picture, f"{tmp}/before.png"]
times = {name: [] for name in commands}
for cmd in commands.values():
    subprocess.run(cmd, check=True)  # warm the page cache
for _ in range(runs):
    for name, cmd in commands.items():
        t0 = time.perf_counter()
        subprocess.run(cmd, check=True)
        times[name].append(time.perf_counter() - t0)
median = {}
for name, t in times.items():
    t.sort()
    median[name] = t[len(t) // 2]
    print(f"{name:20s} median {median[name] * 1e3:8.2f} ms over {runs} runs (best {t[0] * 1e3:.2f} ms)")
for name in [n for n in commands if n != "ImageMagick convert"]:
    ratio = median["ImageMagick convert"] / median[name]
    print(f"ratio convert / {name}: {ratio:.2f}x, share {1 / ratio:.3f} (goal <= 0.05)")
PY
