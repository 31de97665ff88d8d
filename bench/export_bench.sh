#!/bin/sh
# Video export speed: the example movie exported at 1280x720 to H.264 + AAC,
# as frames per second of the whole export and a multiple of real time,
# with the share of time spent playing and rendering against encoding
# (the player's own --verbose line). Goal: at least 4x real time.
#   bench/export_bench.sh PLAYER MOVIE [STEPS] [REPEATS]
set -eu
player=$1
movie=$2
steps=${3:-600}
repeats=${4:-3}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
echo "export_bench: $(basename "$movie") at 1280x720, $steps steps, .mp4; load:$(uptime | sed 's/.*load average//')"
i=1
while [ "$i" -le "$repeats" ]; do
  "$player" --export-video "$out/bench.mp4" --size 1280x720 --frames "$steps" --verbose "$movie" 2>&1 |
    sed 's/^kivra-player: /  /'
  i=$((i + 1))
done
