# Source me: starts what the tests need and ends exactly those processes on exit.
#   Xvfb (DISPLAY), a daemon-less ALSA card "testcard" whose capture reads $TEST_MIC_RAW and whose
#   playback writes $TEST_SPK_WAV (ALSA_HOME holds its .asoundrc), and a private PulseAudio with a
#   speaker sink "spk" and a microphone sink "mic" (its monitor is the microphone) for real-time tests.
# In /tmp whatever TMPDIR is: the sockets made in it (PulseAudio's, the guard's in the runtime folder)
# need a path of at most 107 bytes.
TEST_ENV_DIR=$(mktemp -d /tmp/brisola-env.XXXXXX)
TEST_ENV_PIDS=
# Records a started process with its command name (as /proc/PID/comm gives it).
test_env_track() {
  TEST_ENV_PIDS="$TEST_ENV_PIDS $1"
  printf -v "TEST_ENV_NAME_$1" '%s' "$2"
}
# Ends the recorded processes that still run and says which ended early. It never fails (it may run
# under `set -e`) and keeps the exit status of what ran before it: the tests' result.
test_env_stop() {
  local rc=$? pid name var comm state alive=
  # Look at every process before ending any: the streams end by themselves once the server goes.
  for pid in $TEST_ENV_PIDS; do
    var="TEST_ENV_NAME_$pid"
    name=${!var:-process}
    comm=$(cat "/proc/$pid/comm" 2>/dev/null || true)
    state=$(sed -n 's/^State:[[:space:]]*\([A-Z]\).*/\1/p' "/proc/$pid/status" 2>/dev/null || true)
    # A reused pid belongs to someone else, and a zombie has ended already.
    if [ "$comm" = "$name" ] && [ "$state" != Z ]; then
      alive="$alive $pid"
    else
      echo "test environment: $name (pid $pid) ended before the tests finished" >&2
    fi
  done
  [ -z "$alive" ] || kill $alive 2>/dev/null || true
  for pid in $TEST_ENV_PIDS; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$TEST_ENV_DIR"
  return $rc
}
trap test_env_stop EXIT

# Display. -noreset: the server otherwise resets when its last client leaves and refuses the
# connections that arrive meanwhile (tests start and end side by side).
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$TEST_ENV_DIR/display" 2>"$TEST_ENV_DIR/xvfb.log" &
test_env_track $! Xvfb
for _i in $(seq 1 500); do [ -s "$TEST_ENV_DIR/display" ] && break; sleep 0.02; done
if [ -s "$TEST_ENV_DIR/display" ]; then
  export DISPLAY=:$(cat "$TEST_ENV_DIR/display")
else
  echo "Xvfb failed to start:"; cat "$TEST_ENV_DIR/xvfb.log"; return 1
fi
export XDG_RUNTIME_DIR=$TEST_ENV_DIR/runtime
mkdir -m 0700 -p "$XDG_RUNTIME_DIR"

# ALSA test card (faster than real time, no daemon)
export ALSA_HOME=$TEST_ENV_DIR/alsa-home
mkdir -p "$ALSA_HOME"
cat > "$ALSA_HOME/.asoundrc" <<'ASOUND'
pcm.testcard {
    type asym
    capture.pcm {
        type file
        slave.pcm "null"
        file "/dev/null"
        format "raw"
        infile { @func getenv vars [ TEST_MIC_RAW ] default "/dev/zero" }
    }
    playback.pcm {
        type file
        slave.pcm "null"
        format "wav"
        file { @func getenv vars [ TEST_SPK_WAV ] default "/dev/null" }
    }
}
ASOUND

# PulseAudio (real time)
export PULSE_SERVER=unix:$TEST_ENV_DIR/pulse-native PULSE_SINK=spk PULSE_SOURCE=mic.monitor
if command -v pulseaudio >/dev/null; then
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --disable-shm=yes \
    --log-target=file:$TEST_ENV_DIR/pulse.log \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$TEST_ENV_DIR/pulse-native" \
    -L "module-null-sink sink_name=spk rate=44100 channels=2" \
    -L "module-null-sink sink_name=mic rate=44100 channels=1" >/dev/null 2>&1 &
  test_env_track $! pulseaudio
  for _i in $(seq 1 200); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
  pactl set-default-sink spk >/dev/null 2>&1 && pactl set-default-source mic.monitor >/dev/null 2>&1
  # An idle null sink renders in 2 s blocks; silent low-latency streams keep first callbacks prompt.
  for _s in spk mic; do
    pacat -p -d $_s --latency-msec=10 --raw --format=s16le --channels=1 --rate=44100 </dev/zero >/dev/null 2>&1 &
    test_env_track $! pacat
  done
  sleep 2.1
fi
export TEST_ENV_DIR
