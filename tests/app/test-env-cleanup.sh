#!/bin/bash
# The test environment's clean-up keeps the tests' exit status and names an environment process that
# ended before the tests finished, also under `set -e`.
set -u
ENV_SCRIPT=$1
fail=0
check() { if ! eval "$2"; then echo "FAIL: $1"; fail=1; fi; }

# A keep-alive stream ends early; the "tests" pass.
out=$(bash -c 'set -euo pipefail; source "$1"; echo "pids:$TEST_ENV_PIDS"; pid=${TEST_ENV_PIDS##* }
               kill "$pid"; while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done; echo "killed:$pid"; true' \
      _ "$ENV_SCRIPT" 2>&1)
rc=$?
killed=$(sed -n 's/^killed://p' <<<"$out")
check "passing tests exit 0 after an early end (rc=$rc)" '[ $rc -eq 0 ]'
check "the early end is named: $out" 'grep -q "test environment: pacat (pid $killed) ended before the tests finished" <<<"$out"'

# Nothing ends early; failing "tests" keep their status and every process is ended.
out=$(bash -c 'set -euo pipefail; source "$1"; echo "pids:$TEST_ENV_PIDS"; exit 3' _ "$ENV_SCRIPT" 2>&1)
rc=$?
check "failing tests keep their status (rc=$rc)" '[ $rc -eq 3 ]'
check "no early end reported: $out" '! grep -q "ended before" <<<"$out"'
for pid in $(sed -n 's/^pids://p' <<<"$out"); do
  check "process $pid ended" '! kill -0 $pid 2>/dev/null'
done
exit $fail
