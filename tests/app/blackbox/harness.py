"""Runs the real program under a private X display of a chosen size (beside the PulseAudio of the
test command), with scratch XDG_DATA_HOME, XDG_RUNTIME_DIR and TMPDIR, and reads what it logged."""
import json
import os
import re
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

from Xlib.error import XError
from xwin import Screen

BIN = os.environ['BRISOLA_BIN']            # <build>/bin/brisola
RESOURCES = os.environ['BRISOLA_RESOURCES']  # <build>/Resources
CONTENT = os.environ['BRISOLA_CONTENT']    # <source>/content
RCC = os.environ.get('BRISOLA_RCC', 'rcc')

LINE = re.compile(r'^\s*(TRACE|DEBUG|INFO|WARN|ERROR|FATAL) \d\d:\d\d:\d\d\.\d\d\d (\S+)\s+(.*?)\s*$')


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


class Display:
    """A private Xvfb of the given size; -displayfd reports the number once it accepts clients."""

    def __init__(self, size='1440x900'):
        r, w = os.pipe()
        self.proc = subprocess.Popen(['Xvfb', '-displayfd', str(w), '-screen', '0', size + 'x24', '-nolisten', 'tcp',
                                      '-noreset'], pass_fds=(w,), stderr=subprocess.DEVNULL)
        os.close(w)
        number = b''
        while not number.endswith(b'\n'):
            chunk = os.read(r, 16)
            if not chunk:
                raise Failure('Xvfb did not start')
            number += chunk
        os.close(r)
        self.name = ':' + number.decode().strip()
        self.screen = Screen(self.name)

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


class Scratch:
    """Scratch folders for one or more runs: data, runtime (the single-instance guard) and temporary."""

    def __init__(self):
        # in /tmp whatever TMPDIR is: the guard keeps to the runtime folder only where its socket's
        # path fits (107 bytes), and the second user must reach the folders shared with it
        self.root = tempfile.mkdtemp(prefix='brisola-bb-', dir='/tmp')
        for d in ('data', 'runtime', 'tmp'):
            os.makedirs(os.path.join(self.root, d), mode=0o700)
        self.data = os.path.join(self.root, 'data')
        self.runtime = os.path.join(self.root, 'runtime')
        self.tmp = os.path.join(self.root, 'tmp')
        self.log = os.path.join(self.data, 'Brisola', 'Brisola.log')
        self.db = os.path.join(self.data, 'Brisola', 'Brisola.db')

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def dev_tree_binary(self):
        """A copy of the program outside the installed layout: it reads the development tree."""
        path = os.path.join(self.root, 'devbin', 'brisola')
        os.makedirs(os.path.dirname(path), exist_ok=True)
        shutil.copy2(BIN, path)
        return path

    def installed_layout(self, course_dir=None, main_qml=None):
        """An installed layout of our own: the real program and assets, with a course.dat built from
        the content tree where course_dir replaces the course and main_qml the main screen."""
        base = os.path.join(self.root, 'inst')
        os.makedirs(os.path.join(base, 'bin'))
        os.makedirs(os.path.join(base, 'Resources'))
        shutil.copy2(BIN, os.path.join(base, 'bin', 'brisola'))
        for name in ('VessaGM6mb.sf2', 'score'):
            os.symlink(os.path.join(RESOURCES, name), os.path.join(base, 'Resources', name))
        entries = tree(os.path.join(CONTENT, 'qml'), 'qml', 'content' if course_dir else None)
        if course_dir:
            entries += tree(course_dir, 'qml/content')
        if main_qml:
            probe = os.path.join(self.root, 'main.qml')
            with open(probe, 'w') as f:
                f.write(main_qml)
            entries = [e for e in entries if e[0] != 'qml/main.qml'] + [('qml/main.qml', probe)]
        for font in ('guido2.ttf', 'DejaVuSans.ttf'):
            entries.append(('fonts/' + font, os.path.join(CONTENT, 'fonts', font)))
        qrc = os.path.join(self.root, 'course.qrc')
        with open(qrc, 'w') as f:
            f.write('<!DOCTYPE RCC><RCC version="1.0"><qresource prefix="/">\n')
            for alias, path in entries:
                f.write('<file alias="%s">%s</file>\n' % (alias, path))
            f.write('</qresource></RCC>\n')
        subprocess.run([RCC, '-binary', qrc, '-o', os.path.join(base, 'Resources', 'course.dat')], check=True)
        return os.path.join(base, 'bin', 'brisola')


def tree(root, alias, skip=None):
    """(alias path, file) of every file below root, leaving out the folder skip."""
    out = []
    for dirpath, _, filenames in os.walk(root):
        rel = os.path.relpath(dirpath, root)
        if not skip or not (rel + os.sep).startswith(skip + os.sep):
            out += [(os.path.normpath(os.path.join(alias, rel, f)), os.path.join(dirpath, f))
                    for f in filenames if not f.startswith('.')]
    return out


def write_course(root, elements):
    """elements: (relative dir, name, type); page.qml beside every activity."""
    for rel, name, kind in elements:
        d = os.path.join(root, rel)
        os.makedirs(d, exist_ok=True)
        with open(os.path.join(d, '_metadata.json'), 'w') as f:
            json.dump({'properties': {'elementName': name, 'elementType': kind}}, f)
        if kind.endswith('_activity'):
            with open(os.path.join(d, 'page.qml'), 'w') as f:
                f.write('import QtQuick 2.12\nItem {}\n')
    lms = os.path.join(root, 'lms')
    os.makedirs(lms, exist_ok=True)
    shutil.copy2(os.path.join(CONTENT, 'qml', 'content', 'lms', 'ImitationQuestion.json'), lms)


class Run:
    """One process of the program."""

    def __init__(self, display, scratch, args=(), program=BIN, unset=()):
        """unset: names of variables the process does not get."""
        env = dict(os.environ)
        env.update(DISPLAY=display.name, XDG_DATA_HOME=scratch.data, XDG_RUNTIME_DIR=scratch.runtime,
                   TMPDIR=scratch.tmp)
        for name in unset:
            env.pop(name, None)
        env.pop('QT_QPA_PLATFORM', None)
        if 'ASAN_OPTIONS' in env:
            # a sanitizer build: the QML screens' memory is Qt's, under stacks the leak checker
            # cannot read; the address and undefined-behaviour checks stay
            env['ASAN_OPTIONS'] += ':detect_leaks=0'
        self.scratch = scratch
        self.display = display
        self.started = time.time()
        self.out = open(os.path.join(scratch.root, 'out-%d.txt' % int(self.started * 1000)), 'w+')
        self.proc = subprocess.Popen([program] + list(args), env=env, cwd=scratch.root,
                                     stdout=self.out, stderr=subprocess.STDOUT)

    @property
    def pid(self):
        return self.proc.pid

    def lines(self):
        """(level, channel, text) of each log line."""
        try:
            with open(self.scratch.log, errors='replace') as f:
                return [m.groups() for m in map(LINE.match, f) if m]
        except FileNotFoundError:
            return []

    def texts(self, channel=None):
        return [t for (_, c, t) in self.lines() if channel is None or c == channel]

    def output(self):
        """What the process wrote to standard output and error."""
        self.out.seek(0)
        return self.out.read()

    def wait_for_line(self, text, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if any(t == text for t in self.texts()):
                return
            if self.proc.poll() is not None:
                raise Failure('program ended (%s) before "%s"\n%s' % (self.proc.returncode, text, self.dump()))
            time.sleep(0.05)
        raise Failure('no "%s" within %d s\n%s' % (text, timeout, self.dump()))

    def main_window(self):
        return main_window(self.display, lambda pid: pid == self.pid, self.dump)[1]

    def children(self):
        try:
            with open('/proc/%d/task/%d/children' % (self.pid, self.pid)) as f:
                return [int(p) for p in f.read().split()]
        except OSError:
            return []

    def wait(self, timeout=15):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait()
            raise Failure('program did not end within %d s\n%s' % (timeout, self.dump()))

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def dump(self):
        log = '\n'.join(' '.join(line) for line in self.lines()[-60:])
        return '--- output ---\n%s\n--- log ---\n%s' % (self.output()[-4000:], log)


def main_window(display, accept, dump, timeout=30):
    """(pid, window) of the first mapped main window of a process that accept(pid) takes."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        for w in display.screen.windows():
            try:
                pid, info = display.screen.pid_of(w), display.screen.info(w)
            except XError:  # gone since it was listed (a splash screen closing)
                continue
            if pid and accept(pid) and info['mapped'] and info['width'] >= 800:
                return pid, w
        time.sleep(0.05)
    raise Failure('no main window\n%s' % dump())


def alive(pid):
    try:
        with open('/proc/%d/status' % pid) as f:
            return 'State:\tZ' not in f.read()
    except OSError:
        return False


def wait_for_text(run, predicate, what, channel=None, timeout=60):
    """The first log text (of `channel`, or any) that `predicate` accepts; fails when the program ends first."""
    deadline = time.time() + timeout
    while True:
        for t in run.texts(channel):
            if predicate(t):
                return t
        if run.proc.poll() is not None:
            raise Failure('program ended (%s) before %s\n%s' % (run.proc.returncode, what, run.dump()))
        if time.time() > deadline:
            break
        time.sleep(0.05)
    raise Failure('no %s within %d s\n%s' % (what, timeout, run.dump()))


def probe_lines(run):
    """What a test's stand-in screen printed through console.log ("probe ...")."""
    return [t for t in run.texts('qtlog') if 'probe ' in t]


def wait_for_probe(run, text, timeout=30):
    return wait_for_text(run, lambda t: 'probe ' in t and text in t, '"%s"' % text, 'qtlog', timeout)


def press_key(display, window, key):
    env = dict(os.environ, DISPLAY=display.name)
    subprocess.run(['xdotool', 'windowfocus', '--sync', str(window.id)], env=env, check=True, timeout=10)
    subprocess.run(['xdotool', 'key', '--clearmodifiers', key], env=env, check=True, timeout=10)


def fatal_lines(run):
    return [t for (level, _, t) in run.lines() if level == 'FATAL']


def hold(scratch):
    """Another program's write lock: no statement of the program gets through until it is closed."""
    db = sqlite3.connect(scratch.db, isolation_level=None)
    db.execute('BEGIN EXCLUSIVE')
    return db


def hang_report(run):
    """Every thread's stack of a process that did not end, when gdb is there to read them."""
    if not shutil.which('gdb'):
        return ''
    done = subprocess.run(['gdb', '-p', str(run.pid), '-batch', '-ex', 'thread apply all bt 25'],
                          stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=60)
    return done.stdout[-8000:]


def answers(scratch):
    """The answers table as (variant, correctness) rows in the order they were saved."""
    db = sqlite3.connect(scratch.db, timeout=10)
    try:
        return db.execute('SELECT variant, correctness FROM answers ORDER BY id').fetchall()
    finally:
        db.close()


OTHER_USER = 2002


def other_user():
    """The command prefix that runs a command as another local user (OTHER_USER): setpriv as root.
    Elsewhere the script runs again in a user namespace that maps more users than its own (from
    the subordinate ids), and is skipped (status 77) where none can be made."""
    setpriv = ['setpriv', '--reuid=%d' % OTHER_USER, '--regid=%d' % OTHER_USER, '--clear-groups']
    if os.geteuid() == 0 and shutil.which('setpriv'):
        return setpriv
    namespace = ['unshare', '--user', '--map-auto', '--map-root-user']
    if os.environ.get('BRISOLA_IN_NAMESPACE') or not shutil.which('unshare') or subprocess.run(
            namespace + setpriv + ['true'], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
        print('SKIP: no second user here (not root with setpriv, and no user namespace with subordinate ids)')
        sys.exit(77)
    env = dict(os.environ, BRISOLA_IN_NAMESPACE='1')
    sys.exit(subprocess.run(namespace + [sys.executable] + sys.argv, env=env).returncode)


def run_test(main):
    """Runs a test's main and prints PASS, or FAIL with the reason and exit status 1."""
    try:
        main()
    except Failure as e:
        print('FAIL: %s' % e)
        sys.exit(1)
    print('PASS')


def probe_program(scratch, course, exercise, probe):
    """The installed layout over `course` whose third element holds `exercise`, `probe` as its main screen."""
    root = os.path.join(scratch.root, 'course')
    write_course(root, course)
    with open(os.path.join(root, course[2][0], '_metadata.json'), 'w') as f:
        json.dump(exercise, f)
    return scratch.installed_layout(course_dir=root, main_qml=probe)
