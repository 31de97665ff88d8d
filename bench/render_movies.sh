#!/usr/bin/env bash
# Rendering timed on whole movies: the render benchmark's scenes written as
# movies, played by the headless player with --render-every-step (each step
# drawn through the dirty rectangles, as the window draws it), beside cairo
# and AGG drawing the same geometry in render_bench.
# Usage: bench/render_movies.sh [BUILD_DIR] [STEPS]
set -euo pipefail
build=${1:-build}
steps=${2:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench/render_bench" --write-movies "$work"
"$build/bench/render_bench" --benchmark_filter='BM_(Cairo|Agg)' --benchmark_format=csv \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null >"$work/libs.csv"

# The median CPU time of a library on a scene, in ms.
libMs() {
  awk -F, -v name="\"$1/$2_median\"" '$1 == name { printf "%.2f", $4 }' "$work/libs.csv"
}

printf '%-6s %12s %12s %9s %9s %9s\n' scene "draw ms/step" "step ms" cairo AGG "/best"
for scene in 0 1 2 3 4; do
  line=$("$build/platform/kivra-player" --headless --render-every-step --frames "$steps" \
    "$work/scene$scene.qvx" 2>&1 >/dev/null | grep 'rendered')
  draw=$(sed -E 's/.*: ([0-9.]+) ms per step drawing.*/\1/' <<<"$line")
  step=$(sed -E 's/.*drawing, ([0-9.]+) ms per step in all.*/\1/' <<<"$line")
  cairo=$(libMs BM_Cairo "$scene")
  agg=$(libMs BM_Agg "$scene")
  ratio=$(awk -v d="$draw" -v c="$cairo" -v a="$agg" 'BEGIN { b = c < a ? c : a; printf "%.2f", d / b }')
  printf '%-6s %12s %12s %9s %9s %9s\n' "$scene" "$draw" "$step" "$cairo" "$agg" "$ratio"
done
