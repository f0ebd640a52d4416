#!/bin/bash
# Speaks the 21 counting and solfege syllables the score overlays on its notes and stores them as
# content/score/sounds/<bank>-<syllable>.ogg: stereo 44100 Hz Ogg Vorbis, silence trimmed.
# Needs espeak-ng, sox and oggenc (scripts/install-deps.sh --tests installs them).
set -euo pipefail
# repeatable dither: the committed assets regenerate byte for byte
export SOX_OPTS="-R"
here="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$here/content/score/sounds}"
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# file name key | text espeak reads (spelled so it says the syllable, not the letter name) | pitch
entries=(
  "counting-1|one|50" "counting-2|two|50" "counting-3|three|50" "counting-4|four|50"
  "counting-5|five|50" "counting-6|six|50" "counting-7|seven|50" "counting-8|eight|50"
  "counting-e|ee|50" "counting-&|and|50" "counting-a|uh|50" "counting-trip|trip|50" "counting-let|let|50"
  "solfege-Do|doe|50" "solfege-Re|ray|50" "solfege-Mi|mee|50" "solfege-Fa|fah|50"
  "solfege-Sol|soul|50" "solfege-La|lah|50" "solfege-Ti|tee|50" "solfege-Do2|doe|80"
)

for e in "${entries[@]}"; do
  IFS='|' read -r name text pitch <<<"$e"
  espeak-ng -v en-us -s 210 -p "$pitch" -w "$work/raw.wav" "$text"
  # trim leading and trailing silence, short fades so the cut does not click
  sox "$work/raw.wav" -r 44100 -c 2 -b 16 "$work/cut.wav" \
      silence 1 0.01 0.5% reverse silence 1 0.01 0.5% reverse
  sox "$work/cut.wav" "$work/trim.wav" fade 0.005 -0 0.02 norm -1
  oggenc -Q -q 4 --serial 1 -o "$out/$name.ogg" "$work/trim.wav"
done
echo "wrote ${#entries[@]} syllables to $out"
