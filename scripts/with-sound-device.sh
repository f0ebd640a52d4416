#!/bin/bash
# Runs a program (the arguments) and returns its exit status. On a machine with no sound device at
# all (no sound server answers and ALSA lists no card, or ALSA's configuration lists no device) it
# says so in one line and runs the program on private virtual devices instead: a PulseAudio of its
# own whose default speaker "spk" plays into nothing and whose default microphone "mic.monitor"
# hears silence. They end with the program.
# With a real device nothing changes. BRISOLA_ASOUND_CARDS names the card list (/proc/asound/cards).
set -uo pipefail
[ $# -ge 1 ] || { echo "usage: $0 program [arguments]" >&2; exit 2; }

# An ALSA configuration of the user's own (ALSA_CONFIG_PATH) that defines no PCM device at all, such
# as an empty file: neither a card nor a sound server can be reached through it, and the program's
# audio library aborts on it.
alsa_lists_nothing() {
  local file
  [ -n "${ALSA_CONFIG_PATH:-}" ] || return 1
  for file in ${ALSA_CONFIG_PATH//:/ }; do
    grep -qs pcm "$file" && return 1
  done
  return 0
}

has_sound_device() {
  local cards=${BRISOLA_ASOUND_CARDS:-/proc/asound/cards}
  alsa_lists_nothing && return 1
  # a card line starts with its number: " 0 [PCH            ]: HDA-Intel ..."
  [ -r "$cards" ] && grep -qE '^ *[0-9]+ \[' "$cards" && return 0
  command -v pactl >/dev/null && timeout 5 pactl info >/dev/null 2>&1 && return 0
  return 1
}

if has_sound_device; then
  exec "$@"
fi

ROOT=$(cd "$(dirname "$0")/.." && pwd)
if ! command -v pulseaudio >/dev/null || ! command -v pacat >/dev/null; then
  "$ROOT/scripts/install-deps.sh" --virtual-sound >&2 || exit 1
fi
echo "no sound device found: running on private virtual devices (a silent speaker and a microphone that hears nothing)"
SOUND_DIR=$(mktemp -d)
SOUND_PIDS=()
stop_sound() {
  [ ${#SOUND_PIDS[@]} -eq 0 ] || kill "${SOUND_PIDS[@]}" 2>/dev/null
  for pid in "${SOUND_PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$SOUND_DIR"
}
trap stop_sound EXIT
trap 'exit 130' INT TERM

export PULSE_SERVER=unix:$SOUND_DIR/pulse-native PULSE_SINK=spk PULSE_SOURCE=mic.monitor
# the program reaches them through ALSA's default device; a configuration that lists nothing gets
# one that does
if alsa_lists_nothing; then
  printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' >"$SOUND_DIR/alsa.conf"
  export ALSA_CONFIG_PATH=$SOUND_DIR/alsa.conf
fi
# its runtime folder of its own: another PulseAudio of this user would otherwise be "already running"
mkdir -m 0700 "$SOUND_DIR/runtime"
XDG_RUNTIME_DIR=$SOUND_DIR/runtime pulseaudio -n --daemonize=no --use-pid-file=no --exit-idle-time=-1 --disallow-exit --disable-shm=yes \
  --log-target=file:"$SOUND_DIR/pulse.log" \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$SOUND_DIR/pulse-native" \
  -L "module-null-sink sink_name=spk rate=44100 channels=2" \
  -L "module-null-sink sink_name=mic rate=44100 channels=1" >/dev/null 2>&1 &
SOUND_PIDS+=($!)
for _i in $(seq 1 200); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
if ! pactl info >/dev/null 2>&1; then
  echo "the virtual sound devices did not start:" >&2
  cat "$SOUND_DIR/pulse.log" >&2
  exit 1
fi
pactl set-default-sink spk >/dev/null 2>&1 && pactl set-default-source mic.monitor >/dev/null 2>&1
# An idle null sink renders in 2 s blocks; silent low-latency streams keep the first callbacks prompt.
for sink in spk mic; do
  pacat -p -d $sink --latency-msec=10 --raw --format=s16le --channels=1 --rate=44100 </dev/zero >/dev/null 2>&1 &
  SOUND_PIDS+=($!)
done
sleep 2.1

"$@"
exit $?
