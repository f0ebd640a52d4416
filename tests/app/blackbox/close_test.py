"""A closed window always ends the program: fresh starts (new data, runtime and temporary folders
each) on one display, each closed with WM_DELETE_WINDOW from one of the states a learner leaves
it in, and each must end with status 0 within the limit. Any start that does not is shown in the
debugger before it is killed, and the run fails naming every such start.

python3 close_test.py [starts]"""
import os
import subprocess
import sys
import time

from Xlib.error import XError

from harness import Display, Failure, Run, Scratch, check, hang_report, run_test, wait_for_text

# A sanitizer build starts and ends several times slower; the limit is what a learner waits.
LIMIT = 10.0 if os.environ.get('ASAN_OPTIONS') else 2.0
SETTLE = 10.0 if os.environ.get('ASAN_OPTIONS') else 1.0
# Where the search for the Calibrate button starts in the Settings screen of a 1024x768 window.
CALIBRATE_FROM = (40, 420)


def xdotool(run, *args):
    env = dict(os.environ, DISPLAY=run.display.name)
    subprocess.run(['xdotool'] + [str(a) for a in args], env=env, check=True, capture_output=True)


def press(run, window, key):
    xdotool(run, 'windowfocus', '--sync', window.id)
    xdotool(run, 'key', '--clearmodifiers', key)


def at_start_up(run):
    """The first window the program maps: the splash screen while the start-up steps run."""
    screen = run.display.screen
    deadline = time.time() + 30
    while time.time() < deadline:
        for w in screen.windows(run.pid):
            try:
                if screen.info(w)['mapped']:
                    return w
            except XError:  # gone since it was listed
                continue
        time.sleep(0.01)
    raise Failure('no window mapped\n%s' % run.dump())


def main_window_shown(run):
    """The main window as soon as it is mapped, before the screens have settled."""
    return run.main_window()


def on_course_map(run):
    run.wait_for_line('event loop')
    time.sleep(SETTLE)
    return run.main_window()


def mid_question(run):
    """First lesson, the exercise's introduction, Start: closed while the question plays."""
    run.wait_for_line('event loop')
    window = run.main_window()
    time.sleep(SETTLE)
    for _ in range(3):
        press(run, window, 'Return')
        time.sleep(SETTLE)
    wait_for_text(run, lambda t: t.startswith('recv marker: '), 'a question playing')
    return window


def calibrating(run):
    """Settings, Calibrate: closed while the microphone is captured. The button sits at the left
    edge below the device rows; the clicks walk down that edge until the capture starts, so a
    changed layout above it does not matter (what else lies there is text)."""
    run.wait_for_line('event loop')
    window = run.main_window()
    time.sleep(SETTLE)
    press(run, window, 'ctrl+4')
    time.sleep(SETTLE)
    for y in range(CALIBRATE_FROM[1], CALIBRATE_FROM[1] + 300, 12):
        xdotool(run, 'mousemove', '--window', window.id, CALIBRATE_FROM[0], y)
        xdotool(run, 'click', 1)
        try:
            wait_for_text(run, lambda t: t.startswith('startCapture'), 'the calibration capture', timeout=0.3)
            return window
        except Failure:
            continue
    wait_for_text(run, lambda t: t.startswith('startCapture'), 'the calibration capture', timeout=SETTLE)
    return window


STATES = [at_start_up, main_window_shown, on_course_map, mid_question, calibrating]


def close_once(display, state):
    """Starts fresh, reaches the state, closes; None when it ended with 0 in time, else why not."""
    scratch = Scratch()
    run = Run(display, scratch, ['--log-level=trace'])
    try:
        window = state(run)
        asked = time.time()
        display.screen.close(window)
        while run.proc.poll() is None and time.time() - asked < LIMIT:
            time.sleep(0.02)
        took = time.time() - asked
        if run.proc.poll() is None:
            return 'still running %.1f s after the close\n%s\n%s' % (took, hang_report(run), run.dump())
        if run.proc.returncode != 0:
            return 'ended with status %s\n%s' % (run.proc.returncode, run.dump())
        print('%-14s ended %.2f s after the close' % (state.__name__, took), flush=True)
        return None
    except Failure as e:
        return 'could not reach the state: %s' % e
    finally:
        run.kill()
        scratch.remove()


def main():
    # one start per state in a sanitizer build, where each start takes several seconds
    starts = int(sys.argv[1]) if len(sys.argv) > 1 else (5 if os.environ.get('ASAN_OPTIONS') else 25)
    display = Display('1440x900')
    failed = []
    try:
        for i in range(starts):
            state = STATES[i % len(STATES)]
            why = close_once(display, state)
            if why:
                failed.append('start %d (%s): %s' % (i + 1, state.__name__, why))
    finally:
        display.stop()
    check(not failed, '%d of %d starts did not end after the close:\n%s' % (len(failed), starts, '\n\n'.join(failed)))
    print('%d of %d starts ended with status 0 after the close' % (starts, starts))


if __name__ == '__main__':
    run_test(main)
