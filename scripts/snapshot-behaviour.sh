#!/bin/sh
# Records what every movie we author does in the headless player, so that a
# change meant to keep behaviour can be checked byte for byte:
#   scripts/snapshot-behaviour.sh BUILD OUTDIR
# then compare two OUTDIRs with `diff -r`. For each movie under tests/movies,
# examples and bench/scripts it keeps the trace, the display dump, stderr, the
# exit status and the screenshot after 0 and after 5 frame steps (with the
# movie's input script when it has one).
set -eu
build=$(cd "$1" && pwd)
out=$2
src=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
find "$src/tests/movies" "$src/examples" "$src/bench/scripts" -name '*.qvxs' | sort > "$work/list"
while read -r source; do
  rel=${source#"$src"/}
  key=$(echo "$rel" | tr '/' '_')
  movie="$work/$key.qvx"
  if ! "$build/tools/qvx-build" "$source" -o "$movie" > /dev/null 2>&1; then
    echo "unbuildable" > "$out/$key.build"
    continue
  fi
  input=${source%.qvxs}.input
  for frames in 0 5; do
    set -- --headless --frames "$frames" --trace --dump-display --seed 7 \
      --script-timeout 2 --screenshot "$out/$key.$frames.png"
    [ -f "$input" ] && set -- "$@" --input "$input"
    status=0
    (cd "$(dirname "$source")" && timeout 120 "$build/platform/kivra-player" "$@" "$movie") \
      > "$out/$key.$frames.out" 2> "$out/$key.$frames.err" || status=$?
    echo "$status" > "$out/$key.$frames.status"
  done
done < "$work/list"
