#!/bin/bash
# Renders the notation gallery through gmn2png: gallery.sh <gmn2png binary> <output folder>
set -euo pipefail
BIN=$1
OUT=$2
mkdir -p "$OUT"
render() {  # name, code
  printf '%s' "$2" | "$BIN" --width 900 --height 260 - "$OUT/$1.png"
}
render scale-c-major '[ \meter<"4/4"> \key<0> c1/4 d e f | g a b c2 ]'
render beamed-rhythms '[ \meter<"4/4"> c1/8 d e f g/16 a b c2 d1/8 e | f/16 g a b c2/4 _/4 c1/8 e ]'
render dotted '[ \meter<"3/4"> c1/4. d/8 e/4 | f/8. g/16 a/2 | b/2. ]'
render triplets '[ \meter<"2/4"> \tuplet<"-3-">(c1/12 d e) \tuplet<"-3-">(f/12 g a) | b/4 c2/4 ]'
render quintuplets '[ \meter<"2/4"> \tuplet<"-5-">(c1/20 d e f g) a/4 | c2/2 ]'
render ties-across-bars '[ \meter<"4/4"> c1/2 d/4 \tie(e/4 | e/2) f/2 | \tie(g/1 | g/4) _/4 _/2 ]'
render rests '[ \meter<"4/4"> _/1 | _/2 _/4 _/8 _/16 _/32 _/32 | c1/4 _/4 _/2 ]'
for k in -7 -6 -5 -4 -3 -2 -1 0 1 2 3 4 5 6 7; do
  render "key$k" "[ \\meter<\"4/4\"> \\key<$k> c1/4 d e f ]"
done
render meter-6-8 '[ \meter<"6/8"> c1/8 d e f/4. | g/4 a/8 b/4 c2/8 ]'
render meter-7-8 '[ \meter<"7/8"> \countingScheme<"2+2+3"> c1/8 d e f g a b | c2/4 g1/4 e/4. ]'
render percussive '[ \staffFormat<"1-line"> \clef<""> \meter<"4/4"> a1/4 a a/8 a a/4 | a/2 _/4 a/4 ]'
render coloured-answer '[ \meter<"4/4"> c1/4 \noteFormat<color="0x1b7edb"> d e \noteFormat<color="black"> f | \noteFormat<color="red"> g/2 \noteFormat<color="black"> c2/2 ]'
