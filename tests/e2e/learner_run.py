#!/usr/bin/python3
"""A learner's first session, driven from outside through the X server and the sound server.

Starts the real program on a scratch data folder, answers the first exercise on the keyboard in
time with the music, works through the rhythm quiz, sings the first singing exercise with a
synthesised voice into the virtual microphone, opens practice, statistics and settings, takes a
screenshot of every screen at 1024x768 and at 800x600, closes the window, and then checks the
database rows the session must have left. Needs the display and sound server of
scripts/test-env.sh and /usr/bin/python3 (for python3-xlib)."""

import argparse
import json
import math
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import time
import wave
import struct

from Xlib import X, XK, display, protocol
from Xlib.ext import xtest

QUARTER_NAMES = {"c": 0, "d": 2, "e": 4, "f": 5, "g": 7, "a": 9, "b": 11}
# Key events are dated on the audio stream when they arrive; the marker that starts the answer is
# seen here only after the audio callback, the event loop and the log file have passed it on.
TAP_LEAD = float(os.environ.get("LEARNER_TAP_LEAD", "0.03"))


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def log(message):
    print("[%7.2f] %s" % (time.monotonic() - T0, message), flush=True)


T0 = time.monotonic()


# --- the question code -------------------------------------------------------------------------

def gmn_events(gmn):
    """(start in quarters, length in quarters, midi or None) for each note and rest of a voice."""
    body = re.sub(r"\(\*.*?\*\)", " ", gmn)
    body = re.sub(r"\\[a-zA-Z]+(<[^>]*>)?", " ", body)
    body = body.replace("[", " ").replace("]", " ").replace("|", " ")
    events = []
    t = 0.0
    length = 1.0
    octave = 1
    for token in body.split():
        m = re.fullmatch(r"([a-gx_])([#&]*)(-?\d+)?(?:/(\d+))?(\.*)", token)
        if not m:
            raise ValueError("cannot read %r in %s" % (token, gmn))
        name, accidentals, oct_text, denom, dots = m.groups()
        if oct_text is not None:
            octave = int(oct_text)
        if denom is not None:
            length = 4.0 / int(denom)
            dotted = length
            for i in range(len(dots)):
                dotted += length / (2 ** (i + 1))
            length_now = dotted
            length = dotted  # a following note without a duration repeats this one, dots included
        else:
            length_now = length
        midi = None
        if name not in "x_":
            pc = QUARTER_NAMES[name] + accidentals.count("#") - accidentals.count("&")
            midi = 12 * (octave + 4) + pc
        elif name == "x":
            midi = -1
        events.append((t, length_now, midi))
        t += length_now
    return events


class Course:
    """The demo course's questions by their code, for their tempo."""

    def __init__(self, root):
        self.tempo_by_gmn = {}
        for folder, _dirs, files in os.walk(root):
            if "_metadata.json" not in files:
                continue
            with open(os.path.join(folder, "_metadata.json"), encoding="utf-8") as f:
                meta = json.load(f)
            template_tempo = {t.get("_type"): t.get("tempo") for t in meta.get("templates", [])}
            for q in meta.get("questions", []):
                self.tempo_by_gmn[q["gmn"]] = q.get("tempo", template_tempo.get(q["_type"], 80))

    def tempo(self, gmn):
        if gmn not in self.tempo_by_gmn:
            fail("question not in the course: " + gmn)
        return int(self.tempo_by_gmn[gmn])


# --- the program's log ------------------------------------------------------------------------

class LogWatch:
    def __init__(self, path):
        self.path = path
        self.lines = []
        self.offset = 0
        self.partial = ""

    def poll(self):
        if not os.path.exists(self.path):
            return
        with open(self.path, encoding="utf-8", errors="replace") as f:
            f.seek(self.offset)
            data = f.read()
            self.offset = f.tell()
        data = self.partial + data
        parts = data.split("\n")
        self.partial = parts.pop()
        self.lines.extend(parts)

    def mark(self):
        self.poll()
        return len(self.lines)

    def wait(self, pattern, since, timeout, proc=None):
        regex = re.compile(pattern)
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            self.poll()
            for i in range(since, len(self.lines)):
                m = regex.search(self.lines[i])
                if m:
                    return i, m
            if proc is not None and proc.poll() is not None:
                fail("the program ended (status %d) while waiting for %r" % (proc.returncode, pattern))
            time.sleep(0.005)
        fail("no log line %r within %.0f s" % (pattern, timeout))

    def last_before(self, pattern, index):
        regex = re.compile(pattern)
        for i in range(index, -1, -1):
            m = regex.search(self.lines[i])
            if m:
                return m
        return None


# --- the X side -------------------------------------------------------------------------------

def xdo(*args):
    return subprocess.run(["xdotool"] + list(args), check=True, capture_output=True, text=True).stdout.strip()


def find_window(proc, timeout=60):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if proc.poll() is not None:
            fail("the program ended (status %d) before its window appeared" % proc.returncode)
        try:
            ids = xdo("search", "--onlyvisible", "--pid", str(proc.pid)).split()
        except subprocess.CalledProcessError:
            ids = []
        for wid in ids:
            geometry = xdo("getwindowgeometry", wid)
            size = re.search(r"Geometry: (\d+)x(\d+)", geometry)
            if size and int(size.group(1)) >= 800 and int(size.group(2)) >= 600:
                return wid
        time.sleep(0.2)
    fail("no main window")


def key(wid, *names):
    xdo("windowfocus", "--sync", wid)
    xdo("key", "--clearmodifiers", *names)


class Tapper:
    """Space bar presses through the X test extension: no process start between beats."""

    def __init__(self):
        self.display = display.Display()
        self.keycode = self.display.keysym_to_keycode(XK.string_to_keysym("space"))

    def tap(self):
        xtest.fake_input(self.display, X.KeyPress, self.keycode)
        xtest.fake_input(self.display, X.KeyRelease, self.keycode)
        self.display.flush()


def screenshot(wid, path):
    subprocess.run(["import", "-window", wid, path], check=True)
    log("screenshot " + os.path.basename(path))


def close_window(wid):
    d = display.Display()
    window = d.create_resource_object("window", int(wid))
    wm_protocols = d.intern_atom("WM_PROTOCOLS")
    wm_delete = d.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(window=window, client_type=wm_protocols,
                                         data=(32, [wm_delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(event, event_mask=X.NoEventMask)
    d.flush()
    d.close()


# --- the sound side ---------------------------------------------------------------------------

def sung_wav(path, events, tempo, lead):
    """A voice-like tone per note (a few harmonics, a slow vibrato, soft edges) after lead seconds."""
    rate = 44100
    quarter = 60.0 / tempo
    total = lead + max(s + l for s, l, _ in events) * quarter + 0.5
    samples = [0.0] * int(total * rate)
    for start, length, midi in events:
        if midi is None or midi < 0:
            continue
        f0 = 440.0 * 2 ** ((midi - 69) / 12.0)
        first = int((lead + start * quarter) * rate)
        count = int((length * quarter - 0.08) * rate)
        phase = 0.0
        for n in range(count):
            t = n / rate
            env = min(1.0, t / 0.03, (count - n) / rate / 0.05)
            f = f0 * (1.0 + 0.004 * math.sin(2 * math.pi * 5.5 * t))
            phase += 2 * math.pi * f / rate
            v = math.sin(phase) + 0.45 * math.sin(2 * phase) + 0.25 * math.sin(3 * phase) + 0.1 * math.sin(4 * phase)
            samples[first + n] += 0.35 * env * v
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<h", int(max(-1, min(1, s)) * 32000)) for s in samples))


def tone_wav(path, seconds):
    rate = 44100
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<h", int(4000 * math.sin(2 * math.pi * 330 * n / rate)))
                               for n in range(int(seconds * rate))))


# --- the session ------------------------------------------------------------------------------

GMN_LINE = r'setGMNCode\(gmn="(.*)"\)\s*$'
OUTCOME_LINE = r"submitQuestionOutcome: idx=(\d+) outcome=([-\d.]+)"


def question_code(lw, index):
    """The question code a page set before line index (not the coloured answer, not a blank)."""
    regex = re.compile(GMN_LINE)
    for i in range(index, -1, -1):
        m = regex.search(lw.lines[i])
        if m and m.group(1) and "noteFormat" not in m.group(1):
            return m.group(1)
    fail("no question code before line %d" % index)


class Session:
    def __init__(self, args):
        self.args = args
        # the session stays in the first grade (the second reuses some rhythms at other tempos)
        self.course = Course(os.path.join(args.source, "content", "qml", "content", "00_grade_1"))
        self.scratch = os.path.join(args.build, "learner-run")
        self.shots = os.path.join(args.build, "learner-run-screenshots")
        shutil.rmtree(self.scratch, ignore_errors=True)
        shutil.rmtree(self.shots, ignore_errors=True)
        for d in ("data", "tmp"):
            os.makedirs(os.path.join(self.scratch, d))
        os.makedirs(self.shots)
        self.env = dict(os.environ, XDG_DATA_HOME=os.path.join(self.scratch, "data"),
                        TMPDIR=os.path.join(self.scratch, "tmp"))
        self.data = os.path.join(self.scratch, "data", "Brisola")
        self.outcomes = {}          # activity name -> marks in answer order
        self.start_to_graded = []   # seconds from Start (or Continue) to the graded answer
        self.proc = None
        self.wid = None
        self.lw = None
        self.size = "1024"
        self.tapper = None

    def shot(self, name):
        screenshot(self.wid, os.path.join(self.shots, "%s-%s.png" % (name, self.size)))

    def press(self, *names, settle=1.2):
        key(self.wid, *names)
        time.sleep(settle)

    def start(self):
        out = open(os.path.join(self.scratch, "stdout.txt"), "w")
        self.proc = subprocess.Popen([self.args.app, "--log-level=trace"], env=self.env, stdout=out,
                                     stderr=subprocess.STDOUT)
        self.wid = find_window(self.proc)
        self.tapper = Tapper()
        self.lw = LogWatch(os.path.join(self.data, "Brisola.log"))
        log("window %s" % self.wid)
        time.sleep(2.5)

    def graded(self, since, activity):
        i, m = self.lw.wait(OUTCOME_LINE, since, 90, self.proc)
        mark = float(m.group(2))
        self.outcomes.setdefault(activity, []).append(mark)
        return mark

    def answer_by_keyboard(self, activity):
        since = self.lw.mark()
        started = time.monotonic()
        key(self.wid, "Return")
        i, _ = self.lw.wait(r"recv marker: 1003\b", since, 90, self.proc)
        gmn = question_code(self.lw, i)
        quarter = 60.0 / self.course.tempo(gmn)
        onsets = [start * quarter for start, _length, midi in gmn_events(gmn) if midi is not None]
        i, _ = self.lw.wait(r"recv marker: 1004\b", i, 30, self.proc)
        t0 = time.monotonic() - TAP_LEAD
        for onset in onsets:
            delay = t0 + onset - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            self.tapper.tap()
        mark = self.graded(i, activity)
        self.start_to_graded.append(time.monotonic() - started)
        log("%s: tapped %s -> %.3f" % (activity, gmn, mark))
        return mark

    def answer_by_singing(self, activity, number):
        since = self.lw.mark()
        started = time.monotonic()
        key(self.wid, "Return")
        i, _ = self.lw.wait(r"recv marker: 1003\b", since, 90, self.proc)
        gmn = question_code(self.lw, i)
        wav = os.path.join(self.scratch, "sung-%d.wav" % number)
        # the answer begins 2 s after this marker; paplay takes a moment to start
        sung_wav(wav, gmn_events(gmn), self.course.tempo(gmn), 1.9)
        voice = subprocess.Popen(["paplay", "-d", "mic", wav])
        mark = self.graded(i, activity)
        voice.wait(30)
        self.start_to_graded.append(time.monotonic() - started)
        log("%s: sang %s -> %.3f" % (activity, gmn, mark))
        return mark

    def resize(self, width, height):
        xdo("windowsize", "--sync", self.wid, str(width), str(height))
        self.size = str(width)
        time.sleep(1.5)

    def level_tone(self, seconds):
        wav = os.path.join(self.scratch, "tone.wav")
        tone_wav(wav, seconds)
        return subprocess.Popen(["paplay", "-d", "mic", wav])

    def practice_and_statistics(self):
        self.press("ctrl+2", settle=2.0)
        self.shot("practice")
        self.press("ctrl+3", settle=2.0)
        self.shot("statistics")

    def settings_at_both_sizes(self):
        tone = self.level_tone(6.0)
        self.press("ctrl+4", settle=2.0)
        self.shot("settings")
        self.resize(1024, 768)
        self.shot("settings")
        tone.wait(30)

    def run(self):
        self.start()
        self.shot("main")
        self.press("Return")                       # open the current activity: the first lesson
        self.shot("lesson")
        self.press("Return")                       # lesson read: on to the first exercise
        self.shot("exercise-intro")
        for q in range(3):
            self.answer_by_keyboard("beat_tapping_1")
            time.sleep(0.8)
            if q == 0:
                self.shot("exercise-graded")
        self.press("Return")                       # Finish: the exercise's mark
        self.shot("exercise-summary")
        self.press("Return")                       # next activity: Note Tapping 1
        self.press("ctrl+Right")                   # Rhythm Tapping 1
        self.press("ctrl+Right")                   # the quiz
        self.shot("quiz-intro")
        for q in range(3):
            self.answer_by_keyboard("rhythm_quiz")
            time.sleep(0.8)
        self.press("Return")
        self.shot("quiz-result")
        self.resize(800, 600)                      # the rest of the course at the smallest size
        self.shot("quiz-result")
        self.press("Return")                       # the quiz completed Rhythm: on to Melody's lesson
        self.shot("singing-lesson")
        self.press("Return")                       # Pitch Singing 1
        for q in range(3):
            self.answer_by_singing("pitch_singing_1", q)
            time.sleep(0.8)
            if q == 0:
                self.shot("singing-graded")
        self.press("Return")
        self.shot("singing-summary")
        self.practice_and_statistics()
        self.press("ctrl+1", settle=1.5)
        self.shot("main-after")
        self.press("Return", settle=2.0)           # the current exercise, opened again
        self.shot("exercise-intro")
        self.settings_at_both_sizes()              # the level meter moves with a tone on the microphone
        self.practice_and_statistics()
        self.press("ctrl+1", settle=1.5)
        self.shot("main-after")
        close_window(self.wid)
        try:
            rc = self.proc.wait(30)
        except subprocess.TimeoutExpired:
            # say where it hangs before ending it
            if shutil.which("gdb"):
                subprocess.run(["gdb", "-p", str(self.proc.pid), "-batch", "-ex", "thread apply all bt"],
                               stdin=subprocess.DEVNULL, timeout=60)
            self.proc.kill()
            fail("the program did not end after its window was closed")
        log("exit status %d" % rc)
        if rc != 0:
            fail("exit status %d" % rc)

    def check_database(self):
        db = sqlite3.connect(os.path.join(self.data, "Brisola.db"))
        rows = lambda sql: db.execute(sql).fetchall()

        answers = rows("SELECT variant, correctness FROM answers ORDER BY id")
        expected_variants = ([r"grade_1/rhythm/beat_tapping_1@quarters-[234]-4"] * 3
                             + [r"grade_1/rhythm/(beat|note|rhythm)_tapping_1@[a-z0-9-]+"] * 3
                             + [r"grade_1/melody/pitch_singing_1@[a-z0-9]+"] * 3)
        if len(answers) != 9:
            fail("answers rows: %r" % answers)
        for (variant, _), pattern in zip(answers, expected_variants):
            if not re.fullmatch(pattern, variant):
                fail("answer variant %s does not match %s" % (variant, pattern))
        # the quiz drew one question from each exercise
        quiz_sources = sorted(v.split("@")[0].split("/")[-1] for v, _ in answers[3:6])
        if quiz_sources != ["beat_tapping_1", "note_tapping_1", "rhythm_tapping_1"]:
            fail("quiz questions came from %r" % quiz_sources)
        logged = self.outcomes["beat_tapping_1"] + self.outcomes["rhythm_quiz"] + self.outcomes["pitch_singing_1"]
        # the database keeps two decimals
        for (variant, stored), shown in zip(answers, logged):
            if abs(stored - shown) > 0.005 + 1e-9:
                fail("answer %s stored %f, graded %f" % (variant, stored, shown))

        marks = rows("SELECT path, mark, ratingDelta FROM marks ORDER BY id")
        paths = [p for p, _, _ in marks]
        if paths != ["grade_1/rhythm/beat_tapping_1", "grade_1/rhythm/quiz", "grade_1/melody/pitch_singing_1"]:
            fail("marks rows: %r" % marks)
        for (path, mark, _), name in zip(marks, ["beat_tapping_1", "rhythm_quiz", "pitch_singing_1"]):
            mean = sum(self.outcomes[name]) / len(self.outcomes[name])
            if abs(mark - mean) > 0.005 + 1e-9:
                fail("mark of %s is %f, the mean of its answers %f" % (path, mark, mean))

        ratings = rows("SELECT rating, practice FROM ratings ORDER BY id")
        if len(ratings) != 3 or any(p not in ("false", 0) for _, p in ratings):
            fail("ratings rows: %r" % ratings)
        deltas = [d for _, _, d in marks]
        previous = 0
        for (rating, _), delta in zip(ratings, deltas):
            if rating - previous != delta:
                fail("rating %d after %d does not match the stored delta %d" % (rating, previous, delta))
            previous = rating

        states = dict(rows("SELECT path, state FROM element_state"))
        expected_states = {
            "grade_1": "UNLOCKED",
            "grade_1/rhythm": "COMPLETED",
            "grade_1/rhythm/how_to_answer": "COMPLETED",
            "grade_1/rhythm/beat_tapping_1": "COMPLETED",
            "grade_1/rhythm/note_tapping_1": "UNLOCKED",
            "grade_1/rhythm/rhythm_tapping_1": "UNLOCKED",
            "grade_1/rhythm/quiz": "COMPLETED",
            "grade_1/melody": "UNLOCKED",
            "grade_1/melody/singing_into_the_microphone": "COMPLETED",
            "grade_1/melody/pitch_singing_1": "COMPLETED",
            "grade_1/melody/interval_singing_1": "UNLOCKED",
            "grade_1/melody/scale_singing_1": "LOCKED",
            "grade_1/harmony/arpeggio_singing_1": "UNLOCKED",
            "grade_1/exam": "LOCKED",
            "grade_2": "LOCKED",
            "grade_2/rhythm/beat_tapping_2": "LOCKED",
        }
        for path, state in expected_states.items():
            if states.get(path) != state:
                fail("element %s is %s, expected %s" % (path, states.get(path), state))
        log("database: %d answers, marks %s, ratings %s" % (len(answers), [round(m, 3) for _, m, _ in marks],
                                                             [r for r, _ in ratings]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    for name in ("app", "source", "build"):
        setattr(args, name, os.path.abspath(getattr(args, name)))
    session = Session(args)
    try:
        session.run()
    finally:
        if session.proc is not None and session.proc.poll() is None:
            session.proc.kill()
            session.proc.wait()
    session.check_database()
    # answered in time and in tune: every answer earns marks and each activity at least half. Not
    # more: on a loaded machine the audio clock, which dates the taps, falls behind the wall clock.
    for activity, marks in session.outcomes.items():
        if min(marks) <= 0.0 or sum(marks) / len(marks) < 0.5:
            fail("%s graded %s" % (activity, marks))
    for name in ("main", "exercise-graded", "quiz-result", "singing-graded", "practice", "statistics", "settings"):
        for size in ("1024", "800"):
            if (name, size) in (("exercise-graded", "800"), ("singing-graded", "1024"), ("main", "800")):
                continue
            if not os.path.getsize(os.path.join(session.shots, "%s-%s.png" % (name, size))):
                fail("empty screenshot %s-%s" % (name, size))
    log("Start to graded answer: " + ", ".join("%.1f s" % t for t in session.start_to_graded))
    log("marks: " + json.dumps({k: [round(m, 3) for m in v] for k, v in session.outcomes.items()}))
    log("screenshots in " + session.shots)
    print("PASS", flush=True)


if __name__ == "__main__":
    main()
