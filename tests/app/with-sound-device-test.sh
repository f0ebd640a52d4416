#!/bin/bash
# scripts/with-sound-device.sh (argument 1) with a stand-in program that reports the sound server it
# finds: a machine without any sound device gets private virtual devices for the program's run
# alone, announced in one line; one with a card or an answering sound server runs the program as it
# is. The exit status is the program's in every case.
set -uo pipefail
SCRIPT=$1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
FAILED=0
fail() { echo "FAIL: $*"; FAILED=1; }

cat > "$WORK/program" <<'PROG'
#!/bin/bash
echo "server=${PULSE_SERVER:-}"
pactl info 2>/dev/null | sed -n 's/^Default \(Sink\|Source\): /default: /p'
# what the program's audio library opens: ALSA's default device (a tenth of a second of silence)
if head -c 8820 /dev/zero | aplay -q -t raw -f S16_LE -r 44100 -c 1 -D default 2>/dev/null; then
  echo "alsa default: plays"
fi
exit 7
PROG
chmod +x "$WORK/program"
echo "--- no soundcards ---" > "$WORK/none"
echo " 0 [PCH            ]: HDA-Intel - HDA Intel PCH" > "$WORK/one"
: > "$WORK/empty.conf"

# name | card list | PULSE_SERVER given | ALSA configuration given | virtual devices expected
CASES=(
  "nothing|$WORK/none|unix:$WORK/no-server||yes"
  "a card|$WORK/one|unix:$WORK/no-server||no"
  "a sound server|$WORK/none|${PULSE_SERVER:-}||no"
  "an ALSA configuration that lists nothing|$WORK/none|unix:$WORK/no-server|$WORK/empty.conf|yes"
  "a card, an ALSA configuration that lists nothing|$WORK/one|unix:$WORK/no-server|$WORK/empty.conf|yes"
)
for row in "${CASES[@]}"; do
  IFS='|' read -r name cards server alsa virtual <<<"$row"
  if [ "$name" = "a sound server" ] && ! pactl info >/dev/null 2>&1; then
    fail "$name: the test environment's sound server does not answer"; continue
  fi
  out=$(BRISOLA_ASOUND_CARDS=$cards PULSE_SERVER=$server ALSA_CONFIG_PATH=$alsa timeout 60 "$SCRIPT" "$WORK/program" 2>&1)
  rc=$?
  [ $rc -eq 7 ] || fail "$name: exit status $rc, not the program's 7: $out"
  announced=$(grep -c "^no sound device found: running on private virtual devices" <<<"$out")
  used=$(sed -n 's/^server=//p' <<<"$out")
  if [ "$virtual" = yes ]; then
    [ "$announced" -eq 1 ] || fail "$name: not announced once: $out"
    [ "$(grep -c '^default: ' <<<"$out")" -eq 2 ] && grep -q '^default: spk$' <<<"$out" \
      && grep -q '^default: mic.monitor$' <<<"$out" || fail "$name: no silent speaker and microphone: $out"
    dir=${used#unix:}; dir=${dir%/pulse-native}
    [ -n "$dir" ] && [ "$used" != "$server" ] || fail "$name: the program did not get a server of its own: $out"
    grep -q '^alsa default: plays$' <<<"$out" || fail "$name: the virtual devices cannot be reached through ALSA: $out"
    [ ! -e "$dir" ] || fail "$name: $dir left behind"
    if pgrep -f "$dir/pulse-native" >/dev/null; then fail "$name: the virtual devices run on after the program"; fi
  else
    [ "$announced" -eq 0 ] || fail "$name: virtual devices announced: $out"
    [ "$used" = "$server" ] || fail "$name: the program's sound server changed to $used"
  fi
done
[ $FAILED -eq 0 ] && echo PASS
exit $FAILED
