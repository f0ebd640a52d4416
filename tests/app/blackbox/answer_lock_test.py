"""Black-box test of an answer saved while another program holds a write lock on the learner
database: the real program, started with a main screen that records answers through the real
question context when Return is pressed, and this process as the other program (python3's sqlite3
with BEGIN EXCLUSIVE).

A lock held for 2 s is waited out: the answer is in the file once it is released, and no fatal
report is raised. A lock held past the program's wait leaves the answer kept (the context says one
waits, the program runs on); it reaches the file when the program ends."""
import time

from harness import (Display, Run, Scratch, answers, check, fatal_lines, hold, press_key, probe_lines, run_test,
                     wait_for_probe, probe_program)

# Records one outcome per Return through the current activity's question context and logs what
# the context says afterwards.
PROBE = '''import QtQuick 2.12
Item {
    id: probe
    property var ctx: null
    property int answers: 0
    focus: true
    Component.onCompleted: {
        ctx = runtime.course.currentActivity.questionContext;
        ctx.load();
        ctx.start();
        forceActiveFocus();
        console.warn("probe ready count=" + ctx.count);
    }
    Keys.onReturnPressed: {
        ctx.submitQuestionOutcome(0, 0.75);
        answers += 1;
        console.warn("probe answered " + answers + " unsaved=" + ctx.unsavedCount);
    }
}
'''

COURSE = [('00_grade_1', 'Grade 1', 'module'), ('00_grade_1/00_rhythm', 'Rhythm', 'module'),
          ('00_grade_1/00_rhythm/00_beat', 'Exercise: Beat', 'exercise_activity'),
          ('00_grade_1/00_rhythm/01_end', '#endofcourse#', 'learning_activity')]

EXERCISE = {'properties': {'elementName': 'Exercise: Beat', 'elementType': 'exercise_activity'},
            'questions': [{'_type': 'Imitation', '_difficulty': 5, '_tags': 'beat', 'gmn': '[ c ]'}],
            'associations': [{'path': '.', 'count': 1}]}


def main():
    display, scratch = Display('1440x900'), Scratch()
    run = None
    try:
        program = probe_program(scratch, COURSE, EXERCISE, PROBE)
        run = Run(display, scratch, program=program)
        wait_for_probe(run, 'probe ready count=1')
        window = run.main_window()
        row = ('grade_1/rhythm/beat@beat', 0.75)

        # 2 s: waited out
        lock = hold(scratch)
        press_key(display, window, 'Return')
        time.sleep(2.0)
        check(not any('answered 1' in t for t in probe_lines(run)), 'the save did not wait for the lock\n' + run.dump())
        lock.close()
        released = time.time()
        wait_for_probe(run, 'probe answered 1 unsaved=0', timeout=10)
        check(answers(scratch) == [row], 'answers after the 2 s lock: %s' % answers(scratch))
        check(not fatal_lines(run), 'fatal report: %s' % fatal_lines(run))
        print('answer saved %.2f s after a 2 s lock was released' % (time.time() - released))

        # held past the program's wait: kept, the program runs on, saved at exit
        lock = hold(scratch)
        started = time.time()
        press_key(display, window, 'Return')
        wait_for_probe(run, 'probe answered 2 unsaved=1', timeout=20)
        waited = time.time() - started
        check(run.proc.poll() is None, 'the program ended\n' + run.dump())
        check(not fatal_lines(run), 'fatal report: %s' % fatal_lines(run))
        check(any('kept for the next save (the database is in use by another program)' in t for t in run.texts('fmwk')),
              'no line on the kept answer\n' + run.dump())
        lock.close()
        check(answers(scratch) == [row], 'answers while kept: %s' % answers(scratch))
        display.screen.close(window)
        rc = run.wait(timeout=20)
        check(rc == 0, 'exit status %s\n%s' % (rc, run.dump()))
        check(answers(scratch) == [row, row], 'answers after exit: %s' % answers(scratch))
        check(not fatal_lines(run), 'fatal report: %s' % fatal_lines(run))
        print('a lock held past the wait: the answer was kept after %.2f s and saved at exit' % waited)
    finally:
        if run:
            run.kill()
        display.stop()
        scratch.remove()


if __name__ == '__main__':
    run_test(main)
