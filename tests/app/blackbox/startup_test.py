"""Black-box tests of the program as a user starts it: one scenario per run of this script
(python3 startup_test.py <case>), each with its own display, data, runtime and temporary folders.
A scenario checks together what one set of real starts can show, since every start costs seconds."""
import os
import select
import shutil
import socket
import sqlite3
import stat
import subprocess
import sys
import time

from harness import BIN, OTHER_USER, Display, Failure, Run, Scratch, alive, check, main_window, other_user, write_course

STEPS = ['initializing audio...', 'loading fonts...', 'removing 1 temporary files...', 'initializing facilities...',
         'loading plugins...', 'loading course...', 'loading settings...', 'logging in...',
         'starting user interface...']
PATHS = ['resource path: ', 'qml path: ', 'fonts path: ', 'course path: ', 'course content type: ',
         'course plugin path: ']
# A 1024x768 window centred on a free 1440x900 screen with no window manager (no frame).
PLACED = 'window at 208,66 1024x768 on a free area of 1440x900 (frame 0,0,0,0)'
KEYS = 'keys=course,stats,practice,globals,settings,calibration,system'


def start_up_lines(run):
    """The start-up's own lines, in order, without the font list and entry traces."""
    return [t for t in run.texts('zq-main') if not t.startswith('loaded font: ') and 'entered...' not in t]


def raised(screen, window):
    """Whether the window comes to the top (within a generous 10 s)."""
    deadline = time.time() + 10
    while screen.top() != window.id and time.time() < deadline:
        time.sleep(0.05)
    return screen.top() == window.id


def covered(screen, window):
    """A window of our own over `window`, checked to be on top: what a later start must raise it over."""
    cover = screen.raise_other(window)
    check(screen.top() == cover.id, 'cover window is not on top')
    return cover


def close_and_check_end(run):
    """Closes the main window as a window manager does; the program ends with 0 and no child left."""
    children = run.children()
    check(children, 'the notation engine host runs as a child before the close')
    run.display.screen.close(run.main_window())
    rc = run.wait()
    check(rc == 0, 'exit status after closing the window is %s\n%s' % (rc, run.dump()))
    time.sleep(0.2)
    left = [p for p in children if alive(p)]
    check(not left, 'child processes left behind: %s' % left)
    texts = run.texts('zq-main')
    check('cleaning up' in texts, 'no "cleaning up" line')
    return texts[texts.index('cleaning up'):]


def case_installed():
    """Installed layout: binary content, the log lines in order, the window centred, only the
    program's own temporary files removed at start and exit, a second start that raises the first
    window and exits 0 at once, and a clean end."""
    display, scratch = Display('1440x900'), Scratch()
    first = None
    try:
        for name in ('ruvex_zq_score.x.midi', 'other.txt'):
            open(os.path.join(scratch.tmp, name), 'w').close()
        os.mkdir(os.path.join(scratch.tmp, 'ruvex_zq_dir'))
        first = Run(display, scratch, ['--log-level=debug'])
        first.wait_for_line('event loop')
        startup = time.time() - first.started
        lines = start_up_lines(first)
        res = os.path.join(os.path.dirname(BIN), '../Resources/')
        check(lines[0] == 'binary data file: ' + res + '/course.dat', lines[0])
        check([l for l in lines if any(l.startswith(p) for p in PATHS)] ==
              ['resource path: ' + res, 'qml path: :/qml', 'fonts path: :/fonts', 'course path: :/qml/content',
               'course content type: binary', 'course plugin path: :/qml/content/lms'], lines)
        check(lines[7:] == STEPS + ['loading main screen: :/qml/main.qml', PLACED, 'activating window', 'event loop'],
              '\n'.join(lines))
        check(sorted(os.listdir(scratch.tmp)) == ['other.txt', 'ruvex_zq_dir'], os.listdir(scratch.tmp))

        screen = display.screen
        main = first.main_window()
        info = screen.info(main)
        check((info['x'], info['y'], info['width'], info['height']) == (208, 66, 1024, 768), info)
        check(info['min'] == (800, 600), info)
        small = [screen.info(w) for w in screen.windows(first.pid) if screen.info(w)['width'] == 500]
        check(small and not small[0]['mapped'] and small[0]['height'] == 350, 'splash still shown: %s' % small)

        covered(screen, main)
        t0 = time.time()
        rc = Run(display, scratch).wait(timeout=5)
        elapsed = time.time() - t0
        check(rc == 0, 'second instance exit status %s' % rc)
        check(elapsed < 1.0, 'second instance took %.2f s' % elapsed)
        check(raised(screen, main), 'the first window was not raised')

        open(os.path.join(scratch.tmp, 'ruvex_zq_score.y.midi'), 'w').close()
        end = close_and_check_end(first)
        check(end == ['cleaning up', 'removing 1 temporary files...'], end)
        check(sorted(os.listdir(scratch.tmp)) == ['other.txt', 'ruvex_zq_dir'], os.listdir(scratch.tmp))
        print('start-up to the event loop: %.2f s; second instance ended after %.2f s' % (startup, elapsed))
    finally:
        if first:
            first.kill()
        display.stop()
        scratch.remove()


def case_development_tree():
    """A copy of the program outside the installed layout reads content/."""
    display, scratch = Display('1440x900'), Scratch()
    content = os.environ['BRISOLA_CONTENT']
    try:
        run = Run(display, scratch, ['--log-level=debug'], program=scratch.dev_tree_binary())
        run.wait_for_line('event loop')
        lines = start_up_lines(run)
        check(lines[0] == 'not running in an installed bundled; using default resource paths.', lines[0])
        check('course content type: raw' in lines, lines)
        check('course plugin path: ' + content + '/qml/content/lms' in lines, lines)
        main = 'loading main screen: ' + content + '/qml/main.qml'
        check(lines[-5:] == [main, main.replace(': ', ': file://'), PLACED, 'activating window', 'event loop'],
              lines[-5:])
        close_and_check_end(run)
    finally:
        display.stop()
        scratch.remove()


# Logs what the screens read; a start with "--log-console" then resets all progress.
PROBE = '''import QtQuick 2.12
Item {
    Component.onCompleted: console.warn("probe debugMode=" + runtime.system.debugMode
                                        + " keys=" + runtime.keys().join(","))
    Timer {
        interval: 300
        running: Qt.application.arguments.indexOf("--log-console") >= 0
        onTriggered: runtime.course.resetAllState()
    }
}
'''

SMALL_COURSE = [('00_grade_1', 'Grade 1', 'module'), ('00_grade_1/00_rhythm', 'Rhythm', 'module'),
                ('00_grade_1/00_rhythm/00_intro', 'Intro', 'learning_activity'),
                ('00_grade_1/00_rhythm/01_more', 'More', 'learning_activity'), ('01_grade_2', 'Grade 2', 'module'),
                ('01_grade_2/00_rhythm', 'Rhythm', 'module'),
                ('01_grade_2/00_rhythm/00_end', '#endofcourse#', 'learning_activity')]


def case_first_start_and_restart():
    """"--debug-mode" reaches runtime.system.debugMode; resetting all progress ends the process
    with 0 and the new one (started without arguments, so not in debug mode) becomes the running
    instance; its first start over a small course stores the ten settings rows, the two accounts
    and the element states."""
    display, scratch = Display('1440x900'), Scratch()
    successor = None
    try:
        course = os.path.join(scratch.root, 'course')
        write_course(course, SMALL_COURSE)
        program = scratch.installed_layout(course_dir=course, main_qml=PROBE)
        first = Run(display, scratch, ['--log-console', '--debug-mode'], program=program)
        rc = first.wait(timeout=30)
        check(rc == 0, 'the restarting process ended with %s\n%s' % (rc, first.dump()))
        check('probe debugMode=true ' + KEYS in first.output(), first.dump())
        successor, main = main_window(display, lambda pid: pid != first.pid, first.dump)
        time.sleep(0.5)
        check(alive(successor), 'the restarted process ended')
        probe = [t for t in first.texts('qtlog') if 'probe debugMode=' in t]
        check(len(probe) == 1 and probe[0].endswith('debugMode=false ' + KEYS), probe)
        display.screen.close(main)
        deadline = time.time() + 15
        while alive(successor) and time.time() < deadline:
            time.sleep(0.1)
        check(not alive(successor), 'the restarted process did not end after its window closed')
        successor = None

        db = sqlite3.connect(scratch.db)
        users = db.execute('SELECT name, password, admin FROM users ORDER BY id').fetchall()
        check(users == [('user', 'quillfen', 'false'), ('admin', 'toren', 'true')], users)
        settings = db.execute('SELECT name, value FROM settings ORDER BY rowid').fetchall()
        check(settings == [('output_device', '<defaultOutputDevice>'), ('output_volume', '0.9'),
                           ('input_device', '<defaultInputDevice>'), ('input_sensitivity', '0.9'),
                           ('input_mic_noise_floor', '0'), ('input_mic_peak_amplitude', '1'),
                           ('input_mic_calibrated', 'false'), ('input_default_clapping', 'keyboard'),
                           ('input_default_playing', 'mic'), ('input_default_singing', 'mic')], settings)
        states = db.execute('SELECT path, state, selected FROM element_state ORDER BY path').fetchall()
        locked = ['', 'grade_1/rhythm/more', 'grade_2', 'grade_2/rhythm', 'grade_2/rhythm/end']
        expected = sorted([(p, 'LOCKED', 'false') for p in locked] + [
            ('grade_1', 'UNLOCKED', 'false'), ('grade_1/rhythm', 'UNLOCKED', 'false'),
            ('grade_1/rhythm/intro', 'UNLOCKED', 'true')])
        check(states == expected, states)
    finally:
        if successor:
            os.kill(successor, 9)
        display.stop()
        scratch.remove()


def case_guard_at_low_file_limit():
    """Under an open-file limit of 40, connections that send nothing use the files up until the
    guard's server fails an accept and closes; once they are gone, the guard listens again: a later
    start is answered at once and the window raised, every time."""
    display, scratch = Display('1440x900'), Scratch()
    first = None
    try:
        first = Run(display, scratch, ['--nofile=40', BIN, '--log-level=debug'], program='prlimit')
        first.wait_for_line('event loop')
        main = first.main_window()
        screen = display.screen
        socket_path = [os.path.join(scratch.runtime, f) for f in os.listdir(scratch.runtime)
                       if not f.endswith('-lockfile')][0]
        for round in (1, 2):
            idle, refused = [], 0
            for _ in range(45):
                s = socket.socket(socket.AF_UNIX)
                try:
                    s.connect(socket_path)
                    idle.append(s)
                except OSError:
                    refused += 1
                    s.close()
                time.sleep(0.02)
            check(refused, 'round %d: 45 idle connections under 40 files were all taken' % round)
            for s in idle:
                s.close()
            time.sleep(0.6)
            cover = covered(screen, main)
            t0 = time.time()
            second = Run(display, scratch)
            rc = second.wait(timeout=15)
            elapsed = time.time() - t0
            check(rc == 0 and 'does not answer' not in second.output(),
                  'round %d: a later start: status %s after %.1f s\n%s' % (round, rc, elapsed, second.output()))
            check(elapsed < 1.0, 'round %d: the later start took %.2f s' % (round, elapsed))
            check(raised(screen, main), 'round %d: the window was not raised' % round)
            cover.destroy()
        check(first.proc.poll() is None, 'the first instance ended\n%s' % first.dump())
        close_and_check_end(first)
    finally:
        if first:
            first.kill()
        display.stop()
        scratch.remove()


# Another user's process that holds the guard's lock file and listens at its socket, both given as
# descriptors: it answers every message.
SQUATTER = '''import fcntl, socket, sys
fcntl.lockf(int(sys.argv[1]), fcntl.LOCK_EX | fcntl.LOCK_NB)
server = socket.socket(fileno=int(sys.argv[2]))
server.listen(8)
print('ready', flush=True)
while True:
    connection = server.accept()[0]
    connection.settimeout(2)
    try:
        message = connection.recv(64)
    except OSError:
        message = b''
    if message:
        connection.sendall(b'ack')
        print('answered', flush=True)
    connection.close()
'''


def squat(as_other, path, give):
    """Starts SQUATTER as the other user on a lock file and a socket made here at the guard's path,
    both given to that user where `give`."""
    lock = os.open(path + '-lockfile', os.O_RDWR | os.O_CREAT, 0o600)
    server = socket.socket(socket.AF_UNIX)
    server.bind(path)
    if give:
        os.fchown(lock, OTHER_USER, OTHER_USER)
        os.chown(path, OTHER_USER, OTHER_USER)
    squatter = subprocess.Popen(as_other + [sys.executable, '-c', SQUATTER, str(lock), str(server.fileno())],
                                pass_fds=(lock, server.fileno()), stdout=subprocess.PIPE, text=True)
    os.close(lock)
    server.close()
    check(squatter.stdout.readline().strip() == 'ready', 'the other user does not listen')
    return squatter


def guard_folders(base):
    """The learner's folders of the guard in base: "qtsingleapp-<uid>-*", theirs, 0700, not links."""
    prefix = 'qtsingleapp-%x-' % os.geteuid()
    found = []
    for f in sorted(os.listdir(base)):
        st = os.lstat(os.path.join(base, f))
        if f.startswith(prefix) and st.st_uid == os.geteuid() and st.st_mode == 0o40700:
            found.append(os.path.join(base, f))
    return found


def case_guard_other_user():
    """No runtime folder and a shared temporary folder where another user came first: a folder at the
    name earlier builds used, a folder and a link named like the guard's own, and a process holding
    the guard's lock file and answering at its socket's name there. The learner's start shows its
    window, the guard keeps to a folder of the learner's own with a random name, and a second start
    still raises the window; what the other user made is left alone. A socket in that folder that
    another user answers is sent nothing: the start shows its window, unguarded, and says why."""
    as_other = other_user()
    display, scratch = Display('1440x900'), Scratch()
    squatters, run = [], None
    name = 'qtsingleapp-Brisol-cf35-%x' % os.getuid()  # the names the unit tests pin for the id "Brisola"
    try:
        os.chmod(scratch.root, 0o711)  # the other user reaches the shared folder, nothing else
        shared = os.path.join(scratch.root, 'shared')
        os.mkdir(shared)
        os.chmod(shared, 0o1777)
        scratch.tmp = shared
        old = os.path.join(shared, 'qtsingleapp-%x' % os.geteuid())
        alike = os.path.join(shared, 'qtsingleapp-%x-aaaaaa' % os.geteuid())
        link = os.path.join(shared, 'qtsingleapp-%x-bbbbbb' % os.geteuid())
        subprocess.run(as_other + ['mkdir', '-m', '0700', old, alike], check=True)
        subprocess.run(as_other + ['ln', '-s', scratch.runtime, link], check=True)  # to a private folder of the learner's
        squatters.append(squat(as_other, os.path.join(shared, name), True))

        run = Run(display, scratch, unset=['XDG_RUNTIME_DIR'])
        main = run.main_window()
        folders = guard_folders(shared)
        check(len(folders) == 1 and stat.S_ISSOCK(os.lstat(os.path.join(folders[0], name)).st_mode),
              'the guard\'s folders: %s in %s' % (folders, os.listdir(shared)))
        cover = covered(display.screen, main)
        rc = Run(display, scratch, unset=['XDG_RUNTIME_DIR']).wait(timeout=15)
        check(rc == 0, 'second start exit status %s' % rc)
        check(raised(display.screen, main), 'the first window was not raised')
        check('single-instance guard' not in run.output(), run.dump())
        cover.destroy()
        for path, kind in ((old, stat.S_IFDIR), (alike, stat.S_IFDIR), (link, stat.S_IFLNK)):
            st = os.lstat(path)
            check(st.st_uid == OTHER_USER and stat.S_IFMT(st.st_mode) == kind, '%s: now %o, user %d' % (path, st.st_mode, st.st_uid))
        check(not os.listdir(scratch.runtime), os.listdir(scratch.runtime))
        close_and_check_end(run)
        run = None

        # in the learner's own folder: only root could put it there
        os.unlink(os.path.join(folders[0], name))
        squatters.append(squat(as_other, os.path.join(folders[0], name), False))
        run = Run(display, scratch, unset=['XDG_RUNTIME_DIR'])
        run.main_window()
        line = 'the socket %s/%s is answered by user %d; starting without the single-instance guard' % (folders[0], name, OTHER_USER)
        check(line in run.output(), 'no line "%s"\n%s' % (line, run.dump()))
        close_and_check_end(run)
        run = None
        check(not select.select([s.stdout for s in squatters], [], [], 0)[0], 'the other user was sent a message')
    finally:
        if run:
            run.kill()
        for squatter in squatters:
            squatter.kill()
            squatter.wait()
        display.stop()
        scratch.remove()


def case_guard_long_folders():
    """Runtime and temporary folders whose paths are too long for a socket: the guard says so, keeps
    to a folder of its own in /tmp, and a second start raises the window at once."""
    display, scratch = Display('1440x900'), Scratch()
    first = None
    earlier = guard_folders('/tmp')
    try:
        deep = os.path.join(scratch.root, 'l' * 100)
        os.mkdir(deep, 0o700)
        scratch.runtime, scratch.tmp = os.path.join(deep, 'runtime'), os.path.join(deep, 'tmp')
        for d in (scratch.runtime, scratch.tmp):
            os.mkdir(d, 0o700)
        first = Run(display, scratch)
        main = first.main_window()
        covered(display.screen, main)
        t0 = time.time()
        rc = Run(display, scratch).wait(timeout=15)
        elapsed = time.time() - t0
        check(rc == 0, 'second start exit status %s' % rc)
        check(raised(display.screen, main), 'the first window was not raised')
        check(elapsed < 1.0, 'the second start took %.2f s' % elapsed)
        line = 'the runtime folder %s is too long a path for a socket; using the temporary folder' % scratch.runtime
        check(line in first.output(), 'no line "%s"\n%s' % (line, first.dump()))
        check('single-instance guard' not in first.output() and 'listen on local socket failed' not in first.output(),
              first.dump())
        sockets = [os.path.join(f, 'qtsingleapp-Brisol-cf35-%x' % os.getuid()) for f in guard_folders('/tmp')]
        sockets = [s for s in sockets if os.path.exists(s) and stat.S_ISSOCK(os.lstat(s).st_mode)]
        check(len(sockets) == 1 and len(sockets[0]) <= 107, 'sockets in /tmp: %s' % sockets)
        close_and_check_end(first)
        first = None
        print('the socket path: %d bytes (%s)' % (len(sockets[0]), sockets[0]))
    finally:
        if first:
            first.kill()
        for made in set(guard_folders('/tmp')) - set(earlier):  # left as it is while another uses it
            for f in ('', '-lockfile'):
                try:
                    os.unlink(os.path.join(made, 'qtsingleapp-Brisol-cf35-%x' % os.getuid() + f))
                except OSError:
                    pass
            try:
                os.rmdir(made)
            except OSError:
                pass
        display.stop()
        scratch.remove()


def case_no_display():
    """Without a display, or with one that cannot be reached, the program says so and ends with a
    failure status instead of hanging or aborting."""
    env = {k: v for k, v in os.environ.items() if k not in ('DISPLAY', 'WAYLAND_DISPLAY', 'QT_QPA_PLATFORM')}
    for display, says in ((None, 'DISPLAY is not set'), (':987', 'DISPLAY=:987 cannot be reached'),
                          ('/nonexistent/socket:0', 'cannot be reached')):
        run_env = dict(env, DISPLAY=display) if display else env
        done = subprocess.run([BIN], env=run_env, capture_output=True, text=True, timeout=10)
        check(done.returncode == 1, 'DISPLAY=%s: exit status %s\n%s' % (display, done.returncode, done.stderr))
        check('brisola: no display (' in done.stderr and says in done.stderr, done.stderr)


def case_platform_failure():
    """A platform plug-in that cannot be found, with a working display: the program says so, not
    that the display cannot be reached, and ends with a failure status."""
    display = Display('1024x768')
    try:
        env = dict(os.environ, DISPLAY=display.name, QT_QPA_PLATFORM='nonexistent')
        done = subprocess.run([BIN], env=env, capture_output=True, text=True, timeout=20)
        check(done.returncode == 1, 'exit status %s\n%s' % (done.returncode, done.stderr))
        said = [line for line in done.stderr.splitlines() if line.startswith('brisola: ')]
        check(len(said) == 1 and said[0].startswith('brisola: the window system could not be started: Could not '
                                                    'find the Qt platform plugin "nonexistent"'), done.stderr)
        check('no display' not in done.stderr, done.stderr)
    finally:
        display.stop()


if __name__ == '__main__':
    name = sys.argv[1]
    try:
        globals()['case_' + name]()
    except Failure as e:
        print('FAIL: %s' % e)
        sys.exit(1)
    print('PASS: %s' % name)
