#!/bin/bash
# Builds Brisola and runs every test on a fresh Debian 12 machine (installs what is missing, as root).
# --sanitize: afterwards builds again with AddressSanitizer and UndefinedBehaviorSanitizer into
#   build-sanitize/ and runs the tests there with leak checking; any report fails the run.
#   SANITIZE_LABELS (a ctest label pattern, e.g. "audio|lms") narrows that pass.
# Other arguments go to ctest (for example: -L audio).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SANITIZE=0
ARGS=()
for arg in "$@"; do
  if [ "$arg" = --sanitize ]; then SANITIZE=1; else ARGS+=("$arg"); fi
done
"$ROOT/scripts/install-deps.sh" --tests
"$ROOT/scripts/build.sh"
source "$ROOT/scripts/test-env.sh"
# A test that fails fails the run: the tests wait for what they check, so a failure is a fault of
# the program or of a test, never the machine's speed. The failed tests are run once more, one at a
# time, only to say which of them passed then (flaky) and which fail every time; the status stays
# the first run's. Arguments: the time-out, then ctest's.
FAILED=0
run_tests() {
  local timeout=$1 failed
  shift
  if ! ctest --output-on-failure -j"$(nproc)" --timeout "$timeout" "$@"; then
    FAILED=1
    failed=$(sed 's/^[0-9]*://' Testing/Temporary/LastTestsFailed.log 2>/dev/null | tr '\n' ' ')
    echo "FAILED: $failed"
    echo "running them once more, one at a time, to tell flaky from failing (the run fails either way)"
    if ctest --rerun-failed --output-on-failure -j1 --timeout "$timeout"; then
      echo "flaky (failed, then passed): $failed"
    else
      echo "failed again: $(sed 's/^[0-9]*://' Testing/Temporary/LastTestsFailed.log 2>/dev/null | tr '\n' ' ')"
    fi
  fi
}
# The plain pass first, so that an ordinary failure shows before the slow build.
cd "${BUILD_DIR:-$ROOT/build}"
run_tests 300 "${ARGS[@]}"
cd "$ROOT"
# a failure of the plain pass ends the run before the slow build
[ "$SANITIZE" = 1 ] && [ "$FAILED" = 0 ] || exit "$FAILED"

SECONDS=0
# -O1 with line tables only: the checks and symbolised stacks need no more, and the build takes a third
# less time on CI's two cores.
BUILD_DIR=$ROOT/build-sanitize "$ROOT/scripts/build.sh" -DBRISOLA_SANITIZE=address,undefined -DBRISOLA_BUILD_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
SUPP=$ROOT/scripts/sanitizers
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=0:detect_stack_use_after_return=0:check_initialization_order=1:suppressions=$SUPP/asan.supp
# Whole allocation stacks where leaks are checked: Qt is built without frame pointers, so the fast
# unwinder stops at Qt's first frame, and a container's buffer leaked by our code would show only
# QArrayData::allocate, like the QML engine's own strings. Walked through Qt, the engine's are
# matched by its module and ours name our frames.
export LSAN_OPTIONS=suppressions=$SUPP/lsan.supp:print_suppressions=0:report_objects=0:fast_unwind_on_malloc=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:suppressions=$SUPP/ubsan.supp
# The QML engine keeps its objects in a JavaScript heap of its own: in a process that runs QML
# screens (the Qt Quick Test runners; the real program, whose black-box harness says so itself)
# leak reports are Qt's memory, so those run with the address and undefined-behaviour checks only,
# and with the fast unwinder (the program's start-up limits are a learner's). The learner run (seven
# minutes under the sanitizers) runs in the plain pass only.
NO_LEAK_CHECK='^(test_app_qml|screens_qml|app_blackbox_.*)$'
LABELS=()
[ -n "${SANITIZE_LABELS:-}" ] && LABELS=(-L "$SANITIZE_LABELS")
cd "$ROOT/build-sanitize"
# The guard's case under an open-file limit of 40 runs in the plain pass only: the undefined-behaviour
# checker reads the memory it checks through a pipe, and with every descriptor in use it calls the
# first look at each socket an object with an invalid vptr and halts the program.
PLAIN_ONLY='^(learner_run|app_blackbox_guard_at_low_file_limit)$'
run_tests 900 "${LABELS[@]}" -E "$NO_LEAK_CHECK|$PLAIN_ONLY" "${ARGS[@]}"
export ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0
export LSAN_OPTIONS=suppressions=$SUPP/lsan.supp:print_suppressions=0:report_objects=0
run_tests 900 "${LABELS[@]}" -R "$NO_LEAK_CHECK" -E "$PLAIN_ONLY" "${ARGS[@]}"
cd "$ROOT"
echo "sanitizer pass: ${SECONDS} s (build and tests)"
exit "$FAILED"
