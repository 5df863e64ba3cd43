# Sourced by the figure scripts that drive the program on an X server, after `build`, `python`,
# `harness_name` and `needed_tools` are set: skips (exit 0) when a tool or bench/x11-draw is
# missing, then loads the shared harness with the program's trace off (the figures are of the
# program as users run it).
for tool in "${needed_tools[@]}" "$python"; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 0; }
done
draw="$build/bench/x11-draw"
[ -x "$draw" ] || { echo "SKIP: $draw is not built"; exit 0; }
. "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/harness.sh"
program_trace=0
