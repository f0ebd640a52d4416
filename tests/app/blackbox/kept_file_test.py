"""Black-box tests of the file that keeps the learner's results while the learner database cannot
take them, tried as hostile input: the real program (the main screen of records_keep_test, Return
answers) with another local user (uid 2002, through setpriv as root) sharing a sticky temporary
folder, and files of ended runs planted beside the database.

Cases (the argument):
  other_user      a file of uid 2002 beside the database (a data folder others may write), and
                  a thousand folders of theirs at the names of the learner's own in the temporary
                  folder: nothing of theirs is read, and a few are logged, at any start; the
                  learner's own folder there made 0755 is named to them with what it holds, not taken
  symlink         a symlink at the kept file's name to a file of the learner's: not followed
  fifo            a FIFO at that name: the start does not hang on it
  file_mode       the kept file is 0600, in a folder only the learner can use
  kill_recovery   a kill in the middle of a recovery of 100,000 answers: the next start saves each once
  recover_20000   20,000 kept answers recovered in under 2 s, the splash screen answering all along
  unsound         an ended run's file with a record of a wrong type and one cut short: both set
                  aside beside the database, the sound record saved, the learner told
  refused         a kept record the database refuses for good: set aside once, never tried again,
                  and the learner told it was not saved
  fallback_taken  full data and temporary disks while another user holds names of the learner's
                  in the shared temporary folder: kept in the runtime folder, saved next start
  fallback_preempted  no XDG_RUNTIME_DIR, a full data disk, and every name of the learner's folder in
                  the temporary folder that can be known beforehand taken first by uid 2002: kept
                  in a folder of the learner's own made under a new name, nothing lost
  nowhere_kept    no XDG_RUNTIME_DIR and both disks full: the learner is told before the window
                  closes, the exit status is 1, and only the answer no file holds is counted lost
  nowhere_kept_signal  the same ended by one SIGTERM: no dialog waits, the program ends within 5 s
  two_processes   two programs on one database (the single-instance guard apart: runtime and
                  temporary folders of their own) each keep an answer: two files, both saved once"""
import copy
import json
import re
import os
import select
import shutil
import signal
import sqlite3
import stat
import subprocess
import sys
import time

from Xlib import X, display as xdisplay, protocol

from harness import (OTHER_USER as OTHER, Display, Failure, Run, Scratch, answers, check, hold, other_user as
                     other_user_prefix, press_key, probe_program, run_test, wait_for_probe)
from records_keep_test import (COURSE, EXERCISE, PATH, PROBE, ROW, answer_kept, end_by_close, fill, find_window,
                               kept_files, mount_small_disk, own_temporary_folders, start, table)

# The longest a window may take to answer while a recovery runs (a transaction's worth of work on a
# loaded machine); a window that waits for the whole recovery takes many seconds.
FROZEN = 1.5


def check_answering(pinger, took):
    """The window answers while a recovery of `took` seconds runs: within FROZEN as the program ships.
    The sanitizers slow every statement, so there it is held to a third of the recovery's own time: a
    window that waits for the whole recovery answers only at its end."""
    bound = max(FROZEN, took / 3) if 'ASAN_OPTIONS' in os.environ else FROZEN
    check(pinger.answered > 0 and pinger.longest < bound,
          'the window did not answer for %.2f s (bound %.2f s)' % (pinger.longest, bound))


def as_other(argv, data=None):
    """Runs argv as the other user, with nothing of ours (the test is skipped where there is none)."""
    subprocess.run(other_user_prefix() + argv, input=data, check=True, timeout=30)


def share_tmp(scratch):
    """The temporary folder as the system's own: sticky, everyone may write it."""
    os.chmod(scratch.root, 0o711)
    os.chmod(scratch.tmp, 0o1777)


def record(kind, **fields):
    return dict(kind=kind, user=1, time='2026-01-02T03:04:05.000', **fields)


def answer_records(n, ids=True):
    """n answers of distinct correctness and time, as an ended run leaves them."""
    out = []
    for i in range(n):
        r = record('answer', variant=ROW[0], value=(i % 100) / 100.0)
        r['time'] = '2026-01-%02dT%02d:%02d:%02d.000' % (1 + i // 86400, i // 3600 % 24, i // 60 % 60, i % 60)
        if ids:
            r['id'] = 'ended-%d' % i
        out.append(r)
    return out


def records_text(records):
    return json.dumps({'records': records}).encode()


def plant_own(path, records):
    """A file of an ended run of the learner's: 0600, theirs."""
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    with os.fdopen(fd, 'wb') as f:
        f.write(records_text(records))


def data_folder(scratch):
    folder = os.path.dirname(scratch.db)
    os.makedirs(folder, exist_ok=True)
    return folder


def left_alone(run, path):
    return [t for t in run.texts('fmwk') if t.startswith(path + ' left alone')]


def count_answers(scratch):
    db = sqlite3.connect(scratch.db, timeout=30)
    try:
        return db.execute('SELECT count(*), count(DISTINCT timestamp || correctness) FROM answers').fetchone()
    except sqlite3.OperationalError:
        return (0, 0)  # no table yet
    finally:
        db.close()


def other_user(display, scratch, program):
    other_user_prefix()
    share_tmp(scratch)
    planted = [record('answer', variant=ROW[0], value=1.0), record('answer', variant=ROW[0], value=1.0),
               record('mark', path=PATH, value=1.0, ratingDelta=900, rating=0, measuredAtSave=False, run='0'),
               record('states', states=[{'path': PATH, 'state': 'COMPLETED', 'select': False},
                                        {'path': 'grade_1/rhythm/end', 'state': 'UNLOCKED', 'select': False}])]
    # a file of theirs where kept records are taken from, beside the database (in a data folder
    # others may write), with a name a run of the program gives its file
    data = data_folder(scratch)
    for folder in (scratch.data, data):
        os.chmod(folder, 0o1777)
    theirs = os.path.join(data, 'Brisola.0123456789abcdef.unsaved.json')
    as_other(['sh', '-c', 'umask 022; cat > "$1"', 'sh', theirs], records_text(planted))
    # and folders of theirs at the names of the learner's own in the temporary folder, their files in them
    folders = [os.path.join(scratch.tmp, 'Brisola-%d%s' % (os.geteuid(), end)) for end in ('', '.a1b2c3')]
    for folder in folders:
        as_other(['mkdir', '-m', '0777', folder])
        as_other(['sh', '-c', 'umask 000; cat > "$1"', 'sh', os.path.join(folder, 'Brisola.unsaved.json')],
                 records_text(planted))
    as_other([sys.executable, '-c', 'import os, sys\nfor i in range(1000): os.mkdir("%s.z%05d" % (sys.argv[1], i))',
              os.path.join(scratch.tmp, 'Brisola-%d' % os.geteuid())])
    # the learner's own folder made 0755 by a careless chmod, its records in it
    careless = os.path.join(scratch.tmp, 'Brisola-%d.b2c3d4' % os.geteuid())
    os.mkdir(careless, 0o755)
    plant_own(os.path.join(careless, 'Brisola.0123.unsaved.json'), answer_records(8))
    for n in (1, 2):
        run, ready = start(display, scratch, program)
        check(table(scratch, 'SELECT count(*) FROM answers') == [(0,)], 'start %d: their answers were saved: %s'
              % (n, table(scratch, 'SELECT variant, correctness FROM answers')))
        check(table(scratch, 'SELECT count(*) FROM marks') == [(0,)], 'start %d: their mark was saved' % n)
        check(table(scratch, "SELECT count(*) FROM element_state WHERE state = 'COMPLETED'") == [(0,)],
              'start %d: their completion was saved' % n)
        check('could not be saved then' not in ready, 'start %d: told of records: %s' % (n, ready))
        check('are in %s (one file), a folder of yours of mode 0755' % careless in ready,
              'start %d: not told of their own folder made 0755: %s' % (n, ready))
        for path in [theirs] + folders:
            said = left_alone(run, path)
            check(len(said) == 1 and 'owned by user %d' % OTHER in said[0], 'start %d: %s: %s' % (n, path, said))
        said = [t for t in run.texts('fmwk') if 'left alone' in t]
        check(len(said) == 6 and said[-1].startswith('1004 names left alone in all'),
              'start %d: %d lines: %s' % (n, len(said), said[-6:]))
        rc = end_by_close(display, run)
        check(rc == 0, 'exit status %s' % rc)
    for path in [theirs] + [os.path.join(f, 'Brisola.unsaved.json') for f in folders]:
        check(os.stat(path).st_uid == OTHER, '%s is gone' % path)
    check(os.listdir(careless) == ['Brisola.0123.unsaved.json'], 'taken from the folder made 0755')
    print('a file of another user beside the database and a thousand folders of theirs in the shared temporary '
          'folder: nothing of theirs read, six lines about them, the learner\'s own folder made 0755 named, twice')


def start_without_runtime(display, scratch, program):
    """A start with the log on standard error too (the log's disk may fill) and no XDG_RUNTIME_DIR."""
    if os.path.exists(scratch.log):
        os.remove(scratch.log)
    run = Run(display, scratch, args=['--log-console'], program=program, unset=('XDG_RUNTIME_DIR',))
    wait_for_output(run, 'probe ready')
    return run


def said_of(run, path):
    return [l for l in run.output().splitlines() if path + ' left alone' in l]


def fallback_preempted(display, scratch, program):
    other_user_prefix()
    if not mount_small_disk(scratch.data, '2m'):
        print('SKIP: no tmpfs here')
        sys.exit(77)
    try:
        share_tmp(scratch)
        # every name of the learner's folder that can be known beforehand, taken first by the other user
        base = os.path.join(scratch.tmp, 'Brisola-%d' % os.geteuid())
        taken = {base: 'owned by user %d' % OTHER, base + '.XXXXXX': 'owned by user %d' % OTHER,
                 base + '.fifo00': 'not a directory', base + '.file00': 'not a directory',
                 base + '.link00': 'a symbolic link'}
        as_other(['mkdir', '-m', '0777', base])
        as_other(['mkdir', '-m', '0700', base + '.XXXXXX'])
        as_other(['mkfifo', '-m', '0666', base + '.fifo00'])
        as_other(['touch', base + '.file00'])
        as_other(['ln', '-s', base, base + '.link00'])
        run = start_without_runtime(display, scratch, program)
        fill(scratch.data)
        press_key(display, run.main_window(), 'Return')
        wait_for_output(run, 'probe answered 1')
        check('probe answered 1 unsaved=1 inFile=true' in run.output(), 'not kept in a file\n' + run.output()[-3000:])
        rc = end_by_close(display, run)
        check(rc == 0, 'exit status %s\n%s' % (rc, run.output()[-3000:]))
        own = own_temporary_folders(scratch)
        check(len(own) == 1 and own[0] not in taken, 'folders of the learner: %s' % own)
        check(stat.S_IMODE(os.lstat(own[0]).st_mode) == 0o700, '%s is not 0700' % own[0])
        kept = kept_files(scratch)
        check(len(kept) == 1 and kept[0].startswith(own[0] + os.sep), 'kept in: %s' % kept)
        for path, why in taken.items():
            check(len(said_of(run, path)) == 1 and why in said_of(run, path)[0], '%s: %s' % (path, said_of(run, path)))
            check(os.lstat(path).st_uid == OTHER, '%s was touched' % path)
        shutil.rmtree(os.path.join(scratch.data, 'filler'))
        run = start_without_runtime(display, scratch, program)
        check(answers(scratch) == [ROW], 'after the disk was freed: %s' % answers(scratch))
        check(not kept_files(scratch), 'kept files left: %s' % kept_files(scratch))
        check('It has been saved now.' in run.output(), 'the learner is not told\n' + run.output()[-3000:])
        rc = end_by_close(display, run)
        check(rc == 0, 'exit status %s' % rc)
    finally:
        subprocess.run(['umount', '-l', scratch.data], stderr=subprocess.DEVNULL)
    print('every name of the temporary folder\'s place taken first by another user: kept in a folder of the '
          'learner\'s own under a new name, saved by the next start')


def nowhere_kept(display, scratch, program, by_signal=False):
    if not mount_small_disk(scratch.data, '2m') or not mount_small_disk(scratch.tmp, '2m'):
        print('SKIP: no tmpfs here')
        sys.exit(77)
    try:
        run = start_without_runtime(display, scratch, program)
        window = run.main_window()
        lock = hold(scratch)
        for n in (1, 2, 3):
            press_key(display, window, 'Return')
            wait_for_output(run, 'probe answered %d unsaved=%d inFile=true' % (n, n))
        # both disks full: the next answer has no place, the three before stay in the file they are in
        fill(scratch.data)
        fill(scratch.tmp)
        lock.close()
        press_key(display, window, 'Return')
        wait_for_output(run, 'probe answered 4 unsaved=4 inFile=false')
        if by_signal:
            # a logout or a service stop: no one is there to answer the dialog
            run.proc.send_signal(signal.SIGTERM)
            rc = run.wait(timeout=5)
        else:
            display.screen.close(window)
            dialog = find_window(display, run.pid, 'Results not kept', timeout=30)
            check(display.screen.info(window)['mapped'], 'the main window closed before the learner was told')
            env = dict(os.environ, DISPLAY=display.name)
            subprocess.run(['xdotool', 'windowfocus', '--sync', str(dialog.id)], env=env, check=True, timeout=10)
            subprocess.run(['xdotool', 'key', 'Return'], env=env, check=True, timeout=10)
            rc = run.wait(timeout=30)
        out = run.output()
        check(rc == 1, 'exit status %s with a result lost\n%s' % (rc, out[-3000:]))
        check('1 records could not be saved and no file takes them: they are lost' in out, 'lost: ' + out[-3000:])
        check('3 records could not be saved; kept in' in out, 'kept: ' + out[-3000:])
        for folder in (scratch.data, scratch.tmp):
            shutil.rmtree(os.path.join(folder, 'filler'))
        run = start_without_runtime(display, scratch, program)
        check(answers(scratch) == [ROW] * 3, 'after the disks were freed: %s' % answers(scratch))
        rc = end_by_close(display, run)
        check(rc == 0, 'exit status %s' % rc)
    finally:
        for folder in (scratch.data, scratch.tmp):
            subprocess.run(['umount', '-l', folder], stderr=subprocess.DEVNULL)
    how = 'one SIGTERM ended it at once' if by_signal else 'the learner told before the window closed'
    print('both disks full: %s, the exit status 1, only the answer no file held counted lost, the three in a file '
          'saved by the next start' % how)


def symlink(display, scratch, program):
    precious = os.path.join(scratch.root, 'precious.txt')
    with open(precious, 'w') as f:
        f.write('the learner\'s own\n')
    link = os.path.join(data_folder(scratch), 'Brisola.unsaved.json')
    os.symlink(precious, link)
    run, _ = start(display, scratch, program)
    lock = answer_kept(display, run, scratch)
    rc = end_by_close(display, run)  # while held: kept for the next start
    check(rc == 0, 'exit status %s\n%s' % (rc, run.dump()))
    with open(precious) as f:
        check(f.read() == 'the learner\'s own\n', 'the symlink was followed: %s holds the records' % precious)
    check(os.path.islink(link), 'the symlink was replaced')
    kept = [p for p in kept_files(scratch) if not os.path.islink(p)]
    check(len(kept) == 1, 'kept in: %s' % kept_files(scratch))
    lock.close()
    run, ready = start(display, scratch, program)
    check(answers(scratch) == [ROW], 'answers after the next start: %s' % answers(scratch))
    check('It has been saved now.' in ready, 'the learner is not told: %s' % ready)
    check(len(left_alone(run, link)) == 1 and 'a symlink' in left_alone(run, link)[0],
          'not said once: %s' % left_alone(run, link))
    rc = end_by_close(display, run)
    check(rc == 0, 'exit status %s' % rc)
    check(os.path.islink(link), 'the symlink was removed')
    print('a symlink at the kept file\'s name: not followed, the answer kept beside it and saved once')


def fifo(display, scratch, program):
    path = os.path.join(data_folder(scratch), 'Brisola.unsaved.json')
    os.mkfifo(path, 0o600)
    began = time.time()
    run = Run(display, scratch, program=program)
    try:
        wait_for_probe(run, 'probe ready', timeout=40)
    finally:
        if run.proc.poll() is None and not any('probe ready' in t for t in run.texts('qtlog')):
            run.kill()  # hanging on the FIFO: ended with the test
    print('started in %.1f s with a FIFO at the kept file\'s name' % (time.time() - began))
    check(stat.S_ISFIFO(os.lstat(path).st_mode), 'the FIFO is gone')
    check(len(left_alone(run, path)) == 1 and 'not a regular file' in left_alone(run, path)[0],
          'not said once: %s' % left_alone(run, path))
    rc = end_by_close(display, run)
    check(rc == 0, 'exit status %s' % rc)


def file_mode(display, scratch, program):
    os.umask(0o022)
    run, _ = start(display, scratch, program)
    lock = answer_kept(display, run, scratch)
    kept = kept_files(scratch)
    check(len(kept) == 1, 'kept in: %s' % kept)
    mode = stat.S_IMODE(os.lstat(kept[0]).st_mode)
    check(mode == 0o600, '%s is %o' % (kept[0], mode))
    lock.close()
    rc = end_by_close(display, run)
    check(rc == 0, 'exit status %s' % rc)
    check(answers(scratch) == [ROW], 'answers: %s' % answers(scratch))
    print('the kept file was 0600 (umask 022)')


class Pinger:
    """Asks the program's windows whether they are alive (_NET_WM_PING, which the toolkit answers
    from the main thread) and keeps the longest wait for an answer."""

    def __init__(self, display):
        self.d = xdisplay.Display(display.name)
        self.root = self.d.screen().root
        self.root.change_attributes(event_mask=X.SubstructureNotifyMask | X.StructureNotifyMask)
        self.protocols = self.d.intern_atom('WM_PROTOCOLS')
        self.ping = self.d.intern_atom('_NET_WM_PING')
        self.pid_atom = self.d.intern_atom('_NET_WM_PID')
        self.serial = 0
        self.longest = 0.0
        self.answered = 0

    def window(self, pid):
        for w in self.root.query_tree().children:
            try:
                prop = w.get_full_property(self.pid_atom, X.AnyPropertyType)
                if prop and prop.value[0] == pid and w.get_attributes().map_state == X.IsViewable:
                    return w
            except Exception:
                pass
        return None

    def once(self, window, timeout=60):
        """One ping and its answer: how long it took."""
        self.serial += 1
        ev = protocol.event.ClientMessage(window=window, client_type=self.protocols,
                                          data=(32, [self.ping, self.serial, window.id, 0, 0]))
        sent = time.time()
        window.send_event(ev, event_mask=X.NoEventMask)
        self.d.flush()
        while time.time() - sent < timeout:
            while self.d.pending_events():
                e = self.d.next_event()
                if e.type == X.ClientMessage and e.data[1][0] == self.ping and e.data[1][1] == self.serial:
                    waited = time.time() - sent
                    self.longest = max(self.longest, waited)
                    self.answered += 1
                    return waited
            select.select([self.d], [], [], 0.05)
        raise Failure('no answer to a ping within %d s' % timeout)


def recovered_line(run):
    return next((t for t in run.texts('fmwk') if t.startswith('recovered ')), None)


def start_watched(display, scratch, program, line_of, what, args=None, timeout=300):
    """Starts the program and pings its window until line_of(run) finds its line: (run, line, pinger)."""
    if os.path.exists(scratch.log):
        os.remove(scratch.log)
    pinger = Pinger(display)
    run = Run(display, scratch, args=args or [], program=program)
    deadline = time.time() + timeout
    while line_of(run) is None:
        check(time.time() < deadline and run.proc.poll() is None, 'no line of %s\n%s' % (what, run.dump()))
        window = pinger.window(run.pid)
        if window is None:
            time.sleep(0.02)
            continue
        try:
            pinger.once(window)
        except Failure:
            raise Failure('the window did not answer for 60 s during %s' % what)
        except Exception:
            pass  # the window went (the splash screen hands over to the main window)
        time.sleep(0.02)
    return run, line_of(run), pinger


def watch_recovery(display, scratch, program, what):
    """Starts the program and pings its window until the recovery is logged: (run, line, pinger)."""
    return start_watched(display, scratch, program, recovered_line, 'the recovery of %s' % what)


def kill_recovery(display, scratch, program):
    n = 100000
    # the database and its tables first, so that the count can be read as the recovery goes
    run, _ = start(display, scratch, program)
    end_by_close(display, run)
    os.remove(scratch.log)
    plant_own(os.path.join(data_folder(scratch), 'Brisola.unsaved.json'), answer_records(n))
    run = Run(display, scratch, program=program)
    deadline = time.time() + 120
    while True:
        saved = count_answers(scratch)[0]
        if 0 < saved < n:
            break
        check(saved == 0 and time.time() < deadline and run.proc.poll() is None,
              'no moment inside the recovery was found (%d saved)\n%s' % (saved, run.dump()))
        time.sleep(0.005)
    run.proc.send_signal(signal.SIGKILL)
    run.proc.wait()
    killed_at = count_answers(scratch)[0]
    print('killed with %d of %d answers saved' % (killed_at, n))
    run, line, pinger = watch_recovery(display, scratch, program, '%d answers after a kill' % n)
    print(line)
    print('the window answered %d pings, the longest after %.3f s' % (pinger.answered, pinger.longest))
    ready = wait_for_probe(run, 'probe ready', timeout=60)
    check('%d results from your last session could not be saved then. They have been saved now.' % (n - killed_at)
          in ready, 'not told what this start saved (%d before it): %s' % (killed_at, ready))
    total, distinct = count_answers(scratch)
    check((total, distinct) == (n, n), 'after the kill and the next start: %d answers, %d distinct of %d'
          % (total, distinct, n))
    check_answering(pinger, int(re.search(r'\((\d+) ms\)', line).group(1)) / 1000.0)
    rc = end_by_close(display, run)
    check(rc == 0, 'exit status %s' % rc)
    check(not kept_files(scratch), 'kept files left: %s' % kept_files(scratch))
    check(table(scratch, 'SELECT count(*) FROM kept_saved') == [(0,)], 'ids left in the database')
    print('a kill in the middle of a recovery: each of %d answers saved once' % n)


def recover_20000(display, scratch, program):
    n = 20000
    # as an earlier version of the program wrote it: no ids
    plant_own(os.path.join(data_folder(scratch), 'Brisola.unsaved.json'), answer_records(n, ids=False))
    run, line, pinger = watch_recovery(display, scratch, program, '%d answers' % n)
    ready = wait_for_probe(run, 'probe ready', timeout=60)
    # from the start of the login (the file is read there) to the recovery's end, by the log's clock
    stamps = {}
    with open(scratch.log, errors='replace') as f:
        for l in f:
            for key, mark in (('login', 'logging in...'), ('done', 'recovered ')):
                if mark in l and key not in stamps:
                    h, m, s = l.split()[1].split(':')
                    stamps[key] = int(h) * 3600 + int(m) * 60 + float(s)
    took = stamps['done'] - stamps['login']
    print(line)
    print('recovery of %d answers: %.3f s from the login to its end; the window answered %d pings, the longest '
          'after %.3f s' % (n, took, pinger.answered, pinger.longest))
    check(count_answers(scratch) == (n, n), 'answers: %s of %d' % (count_answers(scratch), n))
    check('%d results from your last session' % n in ready and 'They have been saved now.' in ready,
          'the learner is not told: %s' % ready)
    # a speed figure of the program as it ships: the sanitizers' checks slow every statement
    if 'ASAN_OPTIONS' not in os.environ:
        check(took < 2.0, 'the recovery took %.2f s' % took)
    check_answering(pinger, took)
    rc = end_by_close(display, run)
    check(rc == 0, 'exit status %s' % rc)


def side_files(scratch, what):
    folder = os.path.dirname(scratch.db)
    return sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith('.%s.json' % what))


def unsound(display, scratch, program):
    folder = data_folder(scratch)
    wrong = record('answer', variant=ROW[0], value='0.75')
    plant_own(os.path.join(folder, 'Brisola.unsaved.json'), [record('answer', variant=ROW[0], value=0.75), wrong])
    cut = records_text([record('answer', variant=ROW[0], value=0.5)])[:50]
    with open(os.path.join(folder, 'Brisola.b.unsaved.json'), 'wb') as f:
        f.write(cut)
    os.chmod(os.path.join(folder, 'Brisola.b.unsaved.json'), 0o600)
    run, ready = start(display, scratch, program)
    check(answers(scratch) == [ROW], 'answers: %s' % answers(scratch))
    aside = side_files(scratch, 'unreadable')
    check(len(aside) == 2, 'set aside: %s' % aside)
    contents = []
    for path in aside:
        with open(path, 'rb') as f:
            contents.append(f.read())
    check(cut in contents and {'records': [wrong]} in [json.loads(c) for c in contents if c != cut],
          'what was set aside: %s' % contents)
    check('Some results from your last session could not be recovered' in ready and aside[-1] in ready,
          'the learner is not told: %s' % ready)
    check(not kept_files(scratch), 'kept files left: %s' % kept_files(scratch))
    rc = end_by_close(display, run)
    check(rc == 0, 'exit status %s' % rc)
    print('an unsound record and a file cut short: set aside beside the database, the learner told')


def refused(display, scratch, program):
    run, _ = start(display, scratch, program)
    end_by_close(display, run)
    plant_own(os.path.join(data_folder(scratch), 'Brisola.unsaved.json'),
              [record('answer', variant=ROW[0], value=0.75), record('answer', variant=ROW[0], value=0.1)])
    db = sqlite3.connect(scratch.db)
    db.execute("CREATE TRIGGER refuse BEFORE INSERT ON answers WHEN NEW.correctness < 0.2 "
               "BEGIN SELECT RAISE(ABORT, 'refused'); END")
    db.commit()
    db.close()
    for n in (1, 2):
        run, ready = start(display, scratch, program)
        check(answers(scratch) == [ROW], 'start %d: answers: %s' % (n, answers(scratch)))
        check(len(side_files(scratch, 'refused')) == 1, 'start %d: set aside: %s' % (n, side_files(scratch, 'refused')))
        check(not kept_files(scratch), 'start %d: still kept: %s' % (n, kept_files(scratch)))
        if n == 1:
            check('One result could not be saved: your records refused it.' in ready,
                  'the learner is not told: %s' % ready)
        rc = end_by_close(display, run)
        check(rc == 0, 'exit status %s' % rc)
    with open(side_files(scratch, 'refused')[0]) as f:
        check([r['value'] for r in json.load(f)['records']] == [0.1], 'set aside: wrong records')
    print('a record refused for good: set aside once, not tried at the next start, the learner told')


def wait_for_output(run, text, timeout=40):
    deadline = time.time() + timeout
    while text not in run.output():
        check(time.time() < deadline and run.proc.poll() is None, 'no "%s"\n%s' % (text, run.output()[-3000:]))
        time.sleep(0.05)


def fallback_taken(display, scratch, program):
    other_user_prefix()
    if not mount_small_disk(scratch.data, '2m') or not mount_small_disk(scratch.tmp, '2m'):
        print('SKIP: no tmpfs here')
        sys.exit(77)
    try:
        share_tmp(scratch)
        for name in ('Brisola-%d', 'Brisola-%d.unsaved.json'):
            as_other(['mkdir', '-m', '0777', os.path.join(scratch.tmp, name % os.geteuid())])
        run, _ = start(display, scratch, program, args=['--log-console'])
        fill(scratch.data)
        fill(scratch.tmp)
        press_key(display, run.main_window(), 'Return')
        wait_for_output(run, 'probe answered 1')
        check('probe answered 1 unsaved=1 inFile=true' in run.output(), 'not kept in a file\n' + run.output()[-3000:])
        rc = end_by_close(display, run)
        check(rc == 0, 'exit status %s\n%s' % (rc, run.output()[-3000:]))
        kept = kept_files(scratch)
        check(len(kept) == 1 and kept[0].startswith(scratch.runtime + os.sep), 'kept in: %s' % kept)
        for folder in (scratch.data, scratch.tmp):
            shutil.rmtree(os.path.join(folder, 'filler'))
        run, ready = start(display, scratch, program)
        check(answers(scratch) == [ROW], 'after the disk was freed: %s' % answers(scratch))
        check(not kept_files(scratch), 'kept files left: %s' % kept_files(scratch))
        rc = end_by_close(display, run)
        check(rc == 0, 'exit status %s' % rc)
    finally:
        for folder in (scratch.data, scratch.tmp):
            subprocess.run(['umount', '-l', folder], stderr=subprocess.DEVNULL)
    print("full data and temporary disks, names there taken by another user: kept in the runtime folder")


def two_processes(display, scratch, program):
    second = copy.copy(scratch)
    second.runtime, second.tmp = os.path.join(scratch.root, 'runtime2'), os.path.join(scratch.root, 'tmp2')
    for folder in (second.runtime, second.tmp):
        os.makedirs(folder, mode=0o700)
    runs = []
    for s in (scratch, second):
        runs.append(Run(display, s, args=['--log-console'], program=program))
        wait_for_output(runs[-1], 'probe ready')
    lock = hold(scratch)
    for run in runs:
        press_key(display, run.main_window(), 'Return')
        wait_for_output(run, 'probe answered 1 unsaved=1')
    for run in runs:
        rc = end_by_close(display, run)
        check(rc == 0, 'exit status %s\n%s' % (rc, run.output()[-3000:]))
    check(len(kept_files(scratch)) == 2, 'kept in: %s' % kept_files(scratch))
    lock.close()
    run, ready = start(display, scratch, program)
    check(answers(scratch) == [ROW, ROW], 'answers: %s' % answers(scratch))
    check('2 results from your last session could not be saved then. They have been saved now.' in ready,
          'the learner is not told: %s' % ready)
    check(not kept_files(scratch), 'kept files left: %s' % kept_files(scratch))
    rc = end_by_close(display, run)
    check(rc == 0, 'exit status %s' % rc)
    print('two programs on one database: a file each, both answers saved once by the next start')


CASES = {'other_user': other_user, 'symlink': symlink, 'fifo': fifo, 'file_mode': file_mode,
         'kill_recovery': kill_recovery, 'recover_20000': recover_20000, 'unsound': unsound, 'refused': refused,
         'two_processes': two_processes, 'fallback_taken': fallback_taken, 'fallback_preempted': fallback_preempted,
         'nowhere_kept': nowhere_kept,
         'nowhere_kept_signal': lambda display, scratch, program: nowhere_kept(display, scratch, program, True)}


def run_case(cases):
    """The case the command line names, on a display and in scratch folders of its own."""
    display, scratch = Display('1440x900'), Scratch()
    try:
        program = probe_program(scratch, COURSE, EXERCISE, PROBE)
        cases[sys.argv[1]](display, scratch, program)
    finally:
        display.stop()
        scratch.remove()


if __name__ == '__main__':
    run_test(lambda: run_case(CASES))
