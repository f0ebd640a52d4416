"""Black-box tests of the learner's results kept through a busy or full learner database and saved
through every way out: the real program with a main screen that drives the real question context
and course item (Return answers, F finishes the activity: its mark, rating and completion, X asks
for a question that is not there, which raises the fatal report), and this process as the other
program holding a lock (python3's sqlite3 with BEGIN EXCLUSIVE) or filling the disk.

Cases (the argument):
  activity_end_locked  a lock held 16 s across the last answer, the mark and the completion: no
                       fatal report, "completed", and every row in the tables once it is released
  fatal_close          a kept answer saved when the fatal report's Close ends the program
  exit_paths           SIGTERM after the lock is gone saves at exit; SIGHUP and a closed window
                       while it is held leave the rows in a file the next start saves and reports
  disk_full            the data folder on a full tmpfs: the answer is kept in the temporary folder
                       and saved by the next start once there is room again"""
import json
import os
import shutil
import signal
import sqlite3
import stat
import subprocess
import sys
import tempfile
import time

from harness import (Display, Failure, Run, Scratch, answers, check, fatal_lines, hold, press_key, probe_program,
                     run_test, wait_for_probe)

PROBE = '''import QtQuick 2.12
import CourseItem 1.0
Item {
    id: probe
    property var item: null
    property var ctx: null
    property int answers: 0
    focus: true
    Component.onCompleted: {
        item = runtime.course.currentActivity;
        ctx = item.questionContext;
        ctx.load();
        ctx.start();
        forceActiveFocus();
        console.warn("probe ready count=" + ctx.count + " unsaved=" + runtime.globals.unsavedCount
                     + " notice=" + runtime.globals.recordsNotice);
    }
    Keys.onPressed: {
        if (event.key === Qt.Key_Return) {
            ctx.submitQuestionOutcome(0, 0.75);
            answers += 1;
            console.warn("probe answered " + answers + " unsaved=" + ctx.unsavedCount
                         + " inFile=" + ctx.unsavedInFile);
        } else if (event.key === Qt.Key_F) {
            ctx.submitMark(0.75);
            item.state = CourseItem.Completed;
            console.warn("probe finished completed=" + (item.state === CourseItem.Completed)
                         + " unsaved=" + runtime.globals.unsavedCount);
        } else if (event.key === Qt.Key_X) {
            ctx.question(7);
        }
    }
}
'''

COURSE = [('00_grade_1', 'Grade 1', 'module'), ('00_grade_1/00_rhythm', 'Rhythm', 'module'),
          ('00_grade_1/00_rhythm/00_beat', 'Exercise: Beat', 'exercise_activity'),
          ('00_grade_1/00_rhythm/01_end', '#endofcourse#', 'learning_activity')]

EXERCISE = {'properties': {'elementName': 'Exercise: Beat', 'elementType': 'exercise_activity'},
            'questions': [{'_type': 'Imitation', '_difficulty': 5, '_tags': 'beat', 'gmn': '[ c ]'}],
            'associations': [{'path': '.', 'count': 1}]}

ROW = ('grade_1/rhythm/beat@beat', 0.75)
PATH = 'grade_1/rhythm/beat'
# one question activity answered 0.75 on average: the rating and the gain from nothing
RATING = 750


def table(scratch, sql):
    db = sqlite3.connect(scratch.db, timeout=10)
    try:
        return db.execute(sql).fetchall()
    finally:
        db.close()


def own_temporary_folders(scratch):
    """The learner's own folders for kept records in the temporary folder (Brisola-<uid>.XXXXXX)."""
    prefix = 'Brisola-%d.' % os.geteuid()
    out = []
    for name in sorted(os.listdir(scratch.tmp)):
        path = os.path.join(scratch.tmp, name)
        st = os.lstat(path)
        if name.startswith(prefix) and stat.S_ISDIR(st.st_mode) and st.st_uid == os.geteuid():
            out.append(path)
    return out


def kept_files(scratch):
    """The files holding records not saved yet: beside the database, in the temporary folder's
    private ones and in the runtime folder."""
    out = []
    for folder in [os.path.dirname(scratch.db)] + own_temporary_folders(scratch) + [scratch.runtime]:
        if os.path.isdir(folder):
            out += [os.path.join(folder, f) for f in os.listdir(folder) if f.endswith('.unsaved.json')]
    return out


def kept_records(scratch):
    records = []
    for path in kept_files(scratch):
        with open(path) as f:
            records += json.load(f)['records']
    return records


def find_window(display, pid, title, timeout=20):
    deadline = time.time() + timeout
    while time.time() < deadline:
        for w in display.screen.windows(pid):
            try:
                if w.get_wm_name() == title and display.screen.info(w)['mapped']:
                    return w
            except Exception:
                pass
        time.sleep(0.1)
    raise Failure('no window "%s"' % title)


def start(display, scratch, program, args=()):
    # the last run's log would answer for this one until it is truncated
    if os.path.exists(scratch.log):
        os.remove(scratch.log)
    run = Run(display, scratch, args=args, program=program)
    ready = wait_for_probe(run, 'probe ready', timeout=40)
    return run, ready


def end_by_close(display, run):
    display.screen.close(run.main_window())
    return run.wait(timeout=30)


def answer_kept(display, run, scratch, n=1):
    """An answer while another program holds the file past the program's wait: kept, not lost."""
    lock = hold(scratch)
    press_key(display, run.main_window(), 'Return')
    wait_for_probe(run, 'probe answered %d unsaved=' % n, timeout=30)
    check(run.proc.poll() is None, 'the program ended\n' + run.dump())
    return lock


def activity_end_locked(display, scratch, program):
    run, _ = start(display, scratch, program)
    lock = hold(scratch)
    taken = time.time()
    window = run.main_window()
    press_key(display, window, 'Return')
    wait_for_probe(run, 'probe answered 1 unsaved=1', timeout=30)
    press_key(display, window, 'f')
    finished = wait_for_probe(run, 'probe finished', timeout=40)
    ended = time.time() - taken
    check(not fatal_lines(run), 'fatal report: %s\n%s' % (fatal_lines(run), run.dump()))
    check('completed=true' in finished, 'not completed: ' + finished)
    check(len(kept_records(scratch)) >= 4, 'not kept in a file: %s' % kept_records(scratch))
    # the whole end ran under the lock; it is given up 16 s after it was taken, or once the end is done
    time.sleep(max(0.0, 16 - (time.time() - taken)))
    print('the end of the activity took %.1f s under the lock' % ended)
    lock.close()
    rc = end_by_close(display, run)
    check(rc == 0, 'exit status %s\n%s' % (rc, run.dump()))
    check(answers(scratch) == [ROW], 'answers: %s' % answers(scratch))
    # the gain is measured once the answer is in: from nothing to the rating of one 0.75 answer
    check(table(scratch, 'SELECT path, mark, ratingDelta FROM marks') == [(PATH, 0.75, RATING)],
          'marks: %s' % table(scratch, 'SELECT path, mark, ratingDelta FROM marks'))
    check(table(scratch, 'SELECT rating, practice FROM ratings') == [(RATING, 0)],
          'ratings: %s' % table(scratch, 'SELECT rating, practice FROM ratings'))
    check(table(scratch, "SELECT state FROM element_state WHERE path = '%s'" % PATH) == [('COMPLETED',)],
          'state: %s' % table(scratch, "SELECT path, state FROM element_state"))
    check(not kept_files(scratch), 'kept files left: %s' % kept_files(scratch))
    print('a lock held 16 s across the end of an activity: every row saved at exit, no fatal report')


def fatal_close(display, scratch, program):
    run, _ = start(display, scratch, program)
    lock = answer_kept(display, run, scratch)
    lock.close()
    press_key(display, run.main_window(), 'x')
    dialog = find_window(display, run.pid, 'Fatal error...')
    env = dict(os.environ, DISPLAY=display.name)
    subprocess.run(['xdotool', 'windowfocus', '--sync', str(dialog.id)], env=env, check=True, timeout=10)
    subprocess.run(['xdotool', 'key', 'Return'], env=env, check=True, timeout=10)  # Close, the default
    rc = run.wait(timeout=30)
    check(rc == 1, 'exit status %s\n%s' % (rc, run.dump()))
    check(answers(scratch) == [ROW], 'answers after the report closed the program: %s' % answers(scratch))
    check(not kept_files(scratch), 'kept files left: %s' % kept_files(scratch))
    print("the fatal report's Close saved the kept answer")


def exit_paths(display, scratch, program):
    # SIGTERM once the other program is done: saved at exit
    run, _ = start(display, scratch, program)
    lock = answer_kept(display, run, scratch)
    lock.close()
    run.proc.send_signal(signal.SIGTERM)
    rc = run.wait(timeout=30)
    check(rc == 0, 'SIGTERM: exit status %s\n%s' % (rc, run.dump()))
    check(answers(scratch) == [ROW], 'answers after SIGTERM: %s' % answers(scratch))
    check(any(t == 'SIGTERM received; closing' for t in run.texts('zq-main')), 'no line on SIGTERM\n' + run.dump())

    # SIGHUP, then a closed window, while the other program still holds the file: in the file
    # beside the database, saved by the next start, which says so
    saved = [ROW]
    for way in ('SIGHUP', 'close'):
        run, ready = start(display, scratch, program)
        lock = answer_kept(display, run, scratch)
        if way == 'SIGHUP':
            run.proc.send_signal(signal.SIGHUP)
            rc = run.wait(timeout=30)
        else:
            rc = end_by_close(display, run)
        check(rc == 0, '%s: exit status %s\n%s' % (way, rc, run.dump()))
        check([r['variant'] for r in kept_records(scratch)] == [ROW[0]],
              '%s: kept: %s' % (way, kept_records(scratch)))
        lock.close()
        check(answers(scratch) == saved, '%s: saved while held: %s' % (way, answers(scratch)))
        run, ready = start(display, scratch, program)
        saved.append(ROW)
        check(answers(scratch) == saved, '%s: after the next start: %s' % (way, answers(scratch)))
        check(not kept_files(scratch), '%s: kept files left: %s' % (way, kept_files(scratch)))
        check('One result from your last session could not be saved then. It has been saved now.' in ready,
              '%s: the learner is not told: %s' % (way, ready))
        check(any(t.startswith('recovered 1 records') for t in run.texts('fmwk')), 'no log line\n' + run.dump())
        rc = end_by_close(display, run)
        check(rc == 0, 'exit status %s' % rc)
    print('SIGTERM saved at exit; SIGHUP and a close while held kept the answer for the next start')


def mount_small_disk(path, size):
    return subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=%s,nr_inodes=200' % size, 'tmpfs', path],
                          stderr=subprocess.DEVNULL).returncode == 0


def fill(path):
    """Writes until the file system is full: its blocks, then its files (a journal that fails and
    goes gives back blocks, but no file can be made in them)."""
    os.makedirs(os.path.join(path, 'filler'))
    n = 0
    try:
        with open(os.path.join(path, 'filler', 'blocks'), 'wb') as f:
            while True:
                f.write(b'\0' * 4096)
                f.flush()
    except OSError:
        pass
    try:
        while True:
            open(os.path.join(path, 'filler', str(n)), 'wb').close()
            n += 1
    except OSError:
        pass


def disk_full(display, scratch, program):
    run, _ = start(display, scratch, program, args=['--log-console'])
    fill(scratch.data)
    press_key(display, run.main_window(), 'Return')
    deadline = time.time() + 30
    while 'probe answered 1' not in run.output():
        check(time.time() < deadline and run.proc.poll() is None, 'no answer on a full disk\n' + run.output()[-3000:])
        time.sleep(0.1)
    line = [l for l in run.output().splitlines() if 'probe answered 1' in l][0]
    check('unsaved=1 inFile=true' in line, 'not kept in a file: ' + line)
    rc = end_by_close(display, run)
    check(rc == 0, 'exit status %s\n%s' % (rc, run.output()[-3000:]))
    kept = kept_files(scratch)
    check(len(kept) == 1 and kept[0].startswith(scratch.tmp), 'kept in: %s' % kept)
    check(answers(scratch) == [], 'saved on a full disk? %s' % answers(scratch))

    shutil.rmtree(os.path.join(scratch.data, 'filler'))
    run, ready = start(display, scratch, program)
    check(answers(scratch) == [ROW], 'after the disk was freed: %s' % answers(scratch))
    check(not kept_files(scratch), 'kept files left: %s' % kept_files(scratch))
    check('It has been saved now.' in ready, 'the learner is not told: %s' % ready)
    rc = end_by_close(display, run)
    check(rc == 0, 'exit status %s' % rc)
    print('a full disk: the answer waited in the temporary folder and the next start saved it')


CASES = {'activity_end_locked': activity_end_locked, 'fatal_close': fatal_close, 'exit_paths': exit_paths,
         'disk_full': disk_full}


def main():
    case = sys.argv[1]
    display, scratch = Display('1440x900'), Scratch()
    mounted = False
    try:
        if case == 'disk_full':
            mounted = mount_small_disk(scratch.data, '2m')
            if not mounted:
                if os.environ.get('BRISOLA_IN_NAMESPACE'):
                    print('SKIP: no tmpfs can be mounted here')
                    sys.exit(77)
                # a mount namespace of our own, where an unprivileged user may mount a tmpfs (a
                # container without the right to mount may still allow it)
                display.stop()
                scratch.remove()
                namespace = ['unshare', '--user', '--map-root-user', '--mount']
                if subprocess.run(namespace + ['true'], stderr=subprocess.DEVNULL).returncode != 0:
                    print('SKIP: no tmpfs can be mounted here (mount and unshare refused)')
                    sys.exit(77)
                env = dict(os.environ, BRISOLA_IN_NAMESPACE='1')
                sys.exit(subprocess.run(namespace + [sys.executable] + sys.argv, env=env).returncode)
        program = probe_program(scratch, COURSE, EXERCISE, PROBE)
        CASES[case](display, scratch, program)
    finally:
        display.stop()
        if mounted:
            subprocess.run(['umount', '-l', scratch.data], stderr=subprocess.DEVNULL)
        scratch.remove()


if __name__ == '__main__':
    run_test(main)
