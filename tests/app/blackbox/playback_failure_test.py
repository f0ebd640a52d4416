"""Black-box test of a question whose sound fails: the real program with the real question page
(main screen: the page over the course's current exercise), on a sound server of this test's own,
which is stopped while the question plays.

The attempt is no answer: no row in the answers table, no mark, the page says "The question could
not be played:" with the reason and offers Start again. With the server back, Start again runs the
question to its grade, which is recorded. The same for a question whose sound cannot be made (its
temporary folder's place taken by a file), after the fatal report's Ignore."""
import os
import signal
import subprocess
import time

from harness import Display, Run, Scratch, answers, check, press_key, run_test, wait_for_probe, probe_program
from records_keep_test import find_window

# The question page as the course shows it, its phase and what it shows logged for this test.
PROBE = '''import QtQuick 2.12
import "components"
Item {
    width: 1024
    height: 768
    function find(item, name) {
        if (item.objectName === name)
            return item;
        for (var i = 0; i < item.children.length; ++i) {
            var found = find(item.children[i], name);
            if (found)
                return found;
        }
        return null;
    }
    ExercisePage {
        id: page
        anchors.fill: parent
        focus: true
        // once the bindings have followed the phase
        onPhaseChanged: Qt.callLater(function (phase) {
            var shown = find(page, "failureText");
            console.warn("probe phase " + phase + " mark=" + page.lastMark
                         + (shown && shown.visible ? " shown=" + shown.text : ""));
        }, phase)
    }
    Component.onCompleted: {
        page.activity = runtime.course.currentActivity;
        page.forceActiveFocus();
        console.warn("probe ready");
    }
}
'''

COURSE = [('00_grade_1', 'Grade 1', 'module'), ('00_grade_1/00_rhythm', 'Rhythm', 'module'),
          ('00_grade_1/00_rhythm/00_beat', 'Exercise: Beat', 'exercise_activity'),
          ('00_grade_1/00_rhythm/01_end', '#endofcourse#', 'learning_activity')]

EXERCISE = {'properties': {'elementName': 'Exercise: Beat', 'elementType': 'exercise_activity'},
            'questions': [{'_type': 'Imitation', '_difficulty': 5, '_tags': 'beat',
                           'gmn': '[ \\meter<"4/4"> c1/4 d e f ]', 'captureType': 1, 'tempo': 100,
                           'playbackMetronomeCountIn': False, 'captureMetronomeCountIn': False}],
            'associations': [{'path': '.', 'count': 1}]}


class SoundServer:
    """A PulseAudio of this test's own (speaker and microphone null sinks), so stopping it touches
    no other test; the same socket when started again."""

    def __init__(self, root):
        self.root = root
        self.socket = os.path.join(root, 'pulse-native')
        self.procs = []

    def start(self):
        # a runtime folder of its own: the test command's server keeps its pid file in the shared one
        runtime = os.path.join(self.root, 'pulse-runtime')
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env = dict(os.environ, PULSE_SERVER='unix:' + self.socket, XDG_RUNTIME_DIR=runtime)
        self.procs = [subprocess.Popen(
            ['pulseaudio', '-n', '--daemonize=no', '--exit-idle-time=-1', '--disallow-exit', '--disable-shm=yes',
             '--log-target=file:' + os.path.join(self.root, 'pulse.log'),
             '-L', 'module-native-protocol-unix auth-anonymous=1 socket=' + self.socket,
             '-L', 'module-null-sink sink_name=spk rate=44100 channels=2',
             '-L', 'module-null-sink sink_name=mic rate=44100 channels=1'],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
        deadline = time.time() + 10
        while subprocess.run(['pactl', 'info'], env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL).returncode != 0:
            check(time.time() < deadline, 'the sound server did not start')
            time.sleep(0.05)
        subprocess.run(['pactl', 'set-default-sink', 'spk'], env=env, check=True)
        subprocess.run(['pactl', 'set-default-source', 'mic.monitor'], env=env, check=True)
        # an idle null sink renders in 2 s blocks; silent low-latency streams keep callbacks prompt
        for sink in ('spk', 'mic'):
            self.procs.append(subprocess.Popen(
                ['pacat', '-p', '-d', sink, '--latency-msec=10', '--raw', '--format=s16le', '--channels=1',
                 '--rate=44100'], stdin=open('/dev/zero', 'rb'), env=env,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        time.sleep(2.1)

    def stop(self):
        for p in self.procs:
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
        for p in self.procs:
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        self.procs = []


def main():
    display, scratch = Display('1440x900'), Scratch()
    server = SoundServer(scratch.root)
    run = None
    try:
        server.start()
        os.environ['PULSE_SERVER'] = 'unix:' + server.socket
        os.environ.pop('ALSA_HOME', None)
        program = probe_program(scratch, COURSE, EXERCISE, PROBE)
        run = Run(display, scratch, program=program)
        wait_for_probe(run, 'probe ready')
        window = run.main_window()

        press_key(display, window, 'Return')  # Start
        wait_for_probe(run, 'probe phase listening')
        time.sleep(0.8)  # the question plays
        server.stop()
        failed = wait_for_probe(run, 'probe phase failed', timeout=30)
        check('mark=-1' in failed, 'a mark after the failure: ' + failed)
        check('shown=The question could not be played: ' in failed, 'the failure is not shown: ' + failed)
        check(answers(scratch) == [], 'answers after the failure: %s' % answers(scratch))
        check(any('the attempt failed' in t for t in run.texts('zq-iqe')), 'no log line\n' + run.dump())
        print('failed playback: %s' % failed.split('shown=')[1])

        server.start()
        press_key(display, window, 'Return')  # Start again
        graded = wait_for_probe(run, 'probe phase graded', timeout=60)
        check('mark=0' in graded, 'the unanswered question: ' + graded)
        rows = answers(scratch)
        check(len(rows) == 1 and rows[0][1] == 0.0, 'answers after Start again: %s' % rows)
        print('Start again with the server back: graded and recorded %s' % rows)

        # no sound made, the temporary folder's place taken: in a run of its own, whose log holds only its phases
        run.kill()
        os.remove(scratch.log)
        run = Run(display, scratch, program=program)
        wait_for_probe(run, 'probe ready')
        window = run.main_window()
        os.rename(scratch.tmp, scratch.tmp + '.away')
        open(scratch.tmp, 'w').close()
        press_key(display, window, 'Return')  # Start
        dialog = find_window(display, run.pid, 'Fatal error...')
        for key in ('shift+Tab', 'shift+Tab', 'space'):  # the fatal report's Ignore
            press_key(display, dialog, key)
        failed = wait_for_probe(run, 'probe phase failed', timeout=30)
        check('mark=-1 shown=The question could not be played: its sound could not be written to %s (Not a directory).'
              % scratch.tmp in failed, 'the failure is not shown: ' + failed)
        check(answers(scratch) == rows, 'answers after a question without its sound: %s' % answers(scratch))
        print('no sound made: %s' % failed.split('shown=')[1])
        os.remove(scratch.tmp)
        os.rename(scratch.tmp + '.away', scratch.tmp)
        press_key(display, window, 'Return')  # Start again
        wait_for_probe(run, 'probe phase graded', timeout=60)
        check(len(answers(scratch)) == 2, 'answers after Start again: %s' % answers(scratch))
    finally:
        if run:
            run.kill()
        server.stop()
        display.stop()
        scratch.remove()


if __name__ == '__main__':
    run_test(main)
