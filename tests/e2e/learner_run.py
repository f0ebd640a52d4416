#!/usr/bin/python3
"""A learner's first session with the real program, driven through the X server and the sound
server of scripts/test-env.sh: Next refused at a locked activity, the question heard alone, a
question stopped with Escape, the rhythm exercises tapped (one tap late on purpose, one answer begun
two beats early, in the count-in), the rhythm quiz, the first singing exercise with nothing sung, a
note a semitone off and one a fourth off (on the bass-clef question when it is drawn), the interval
exercise sung in tune to its end, a scale sung with one note on the pitch before it again (only that
note graded off), practice,
statistics and settings shot at 1024x768 and 800x600, the microphone calibrated twice at 800x600;
then the database rows the session must have left, a log without warnings but the late-callback one,
and nothing printed on the terminal. Last, on a screen of 800x600 with a window manager, a fresh
learner with clapping set to the microphone: the whole window, title bar included, on the screen,
and the lesson and a clapping exercise saying to clap."""

import argparse
import json
import math
import os
import re
import shutil
import sqlite3
import struct
import subprocess
import sys
import time
import wave

from Xlib import X, XK, display, protocol
from Xlib.ext import xtest

PITCH_CLASS = {"c": 0, "d": 2, "e": 4, "f": 5, "g": 7, "a": 9, "b": 11}
# Key events are dated on the audio stream when they arrive; the marker that starts the answer is
# seen here only after the audio callback, the event loop and the log file have passed it on.
TAP_LEAD = float(os.environ.get("LEARNER_TAP_LEAD", "0.03"))
T0 = time.monotonic()


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def log(message):
    print("[%7.2f] %s" % (time.monotonic() - T0, message), flush=True)


def gmn_events(gmn):
    """(start in quarters, length in quarters, midi; -1 for "x", None for a rest) of each event."""
    body = re.sub(r"\(\*.*?\*\)|\\[a-zA-Z]+(<[^>]*>)?|[\[\]|]", " ", gmn)
    events, t, length, octave = [], 0.0, 1.0, 1
    for token in body.split():
        m = re.fullmatch(r"([a-gx_])([#&]*)(-?\d+)?(?:/(\d+))?(\.*)", token)
        if not m:
            raise ValueError("cannot read %r in %s" % (token, gmn))
        name, accidentals, oct_text, denom, dots = m.groups()
        octave = int(oct_text) if oct_text else octave
        if denom:  # a note without a duration repeats the last one, dots included
            length = 4.0 / int(denom) * (2 - 0.5 ** len(dots))
        midi = -1 if name == "x" else None
        if name in PITCH_CLASS:
            midi = 12 * (octave + 4) + PITCH_CLASS[name] + accidentals.count("#") - accidentals.count("&")
        events.append((t, length, midi))
        t += length
    return events


class LogWatch:
    """The program's log file, read as it grows."""

    def __init__(self, path):
        self.path, self.lines, self.offset, self.partial = path, [], 0, ""

    def mark(self):
        if os.path.exists(self.path):
            with open(self.path, encoding="utf-8", errors="replace") as f:
                f.seek(self.offset)
                data = self.partial + f.read()
                self.offset = f.tell()
            *complete, self.partial = data.split("\n")
            self.lines += complete
        return len(self.lines)

    def wait(self, pattern, since, timeout, proc):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            for i in range(since, self.mark()):
                m = re.search(pattern, self.lines[i])
                if m:
                    return i, m
                if "playback ended on a stream error" in self.lines[i]:
                    fail("the sound stopped while waiting for %r: %s" % (pattern, self.lines[i]))
            if proc.poll() is not None:
                fail("the program ended (status %d) while waiting for %r" % (proc.returncode, pattern))
            time.sleep(0.005)
        fail("no log line %r within %.0f s" % (pattern, timeout))

    def question(self, index):
        """The question code set before line index (not the coloured answer) and its score's tempo."""
        for i in range(index, -1, -1):
            m = re.search(r'\[(\d+)\] setGMNCode\(gmn="(.+)"\)\s*$', self.lines[i])
            if m and "noteFormat" not in m.group(2):
                for j in range(index, -1, -1):
                    tempo = re.search(r"\[%s\] setTempo\(bpm=(\d+)\)" % m.group(1), self.lines[j])
                    if tempo:
                        return m.group(2), int(tempo.group(1))
        fail("no question code before line %d" % index)


def log_time(line):
    """Seconds since midnight of a log line's time stamp."""
    m = re.search(r"(\d\d):(\d\d):(\d\d)\.(\d{3})", line)
    if not m:
        fail("no time stamp in " + line)
    h, mi, se, ms = (int(g) for g in m.groups())
    return h * 3600 + mi * 60 + se + ms / 1000.0


def xdo(*args):
    return subprocess.run(["xdotool"] + list(args), check=True, capture_output=True, text=True).stdout.strip()


def find_window(proc, timeout=60):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if proc.poll() is not None:
            fail("the program ended (status %d) before its window appeared" % proc.returncode)
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(proc.pid)],
                               capture_output=True, text=True).stdout.split()
        for wid in found:
            size = re.search(r"Geometry: (\d+)x(\d+)", xdo("getwindowgeometry", wid))
            if size and int(size.group(1)) >= 800 and int(size.group(2)) >= 600:
                return wid
        time.sleep(0.2)
    fail("no main window")


def close_window(wid):
    d = display.Display()
    window = d.create_resource_object("window", int(wid))
    event = protocol.event.ClientMessage(window=window, client_type=d.intern_atom("WM_PROTOCOLS"),
                                         data=(32, [d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
    window.send_event(event, event_mask=X.NoEventMask)
    # A round trip first: a connection closed with the request unread by the server loses it (one
    # close in ten went nowhere).
    d.sync()
    d.close()


def staff_step(midi):
    """The staff step of a MIDI note (C4 is 28), as the notation engine places it without accidentals."""
    steps = [0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6]
    return (midi // 12 - 1) * 7 + steps[midi % 12]


def bass_clef(events):
    """Whether the engine draws these notes in the bass clef (their mean staff step below B3)."""
    notes = [staff_step(m) for _, _, m in events if m is not None and m >= 0]
    return bool(notes) and sum(notes) < 27 * len(notes)


def sung_wav(path, events, tempo, lead):
    """A voice-like tone per note (a few harmonics, a slow vibrato, soft edges) after lead seconds."""
    rate, quarter = 44100, 60.0 / tempo
    samples = [0.0] * int((lead + max(s + l for s, l, _ in events) * quarter + 0.5) * rate)
    for start, length, midi in events:
        if midi is None or midi < 0:
            continue
        f0, first, phase = 440.0 * 2 ** ((midi - 69) / 12.0), int((lead + start * quarter) * rate), 0.0
        count = int((length * quarter - 0.08) * rate)
        for n in range(count):
            t = n / rate
            phase += 2 * math.pi * f0 * (1.0 + 0.004 * math.sin(2 * math.pi * 5.5 * t)) / rate
            v = math.sin(phase) + 0.45 * math.sin(2 * phase) + 0.25 * math.sin(3 * phase) + 0.1 * math.sin(4 * phase)
            samples[first + n] += 0.35 * min(1.0, t / 0.03, (count - n) / rate / 0.05) * v
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<h", int(max(-1, min(1, s)) * 32000)) for s in samples))


class Session:
    def __init__(self, args):
        self.app = args.app
        self.scratch = os.path.join(args.build, "learner-run")
        self.shots = os.path.join(args.build, "learner-run-screenshots")
        for d in (self.scratch, self.shots):
            shutil.rmtree(d, ignore_errors=True)
        for d in (os.path.join(self.scratch, "data"), os.path.join(self.scratch, "tmp"), self.shots):
            os.makedirs(d)
        self.env = dict(os.environ, XDG_DATA_HOME=os.path.join(self.scratch, "data"),
                        TMPDIR=os.path.join(self.scratch, "tmp"))
        self.data = os.path.join(self.scratch, "data", "Brisola")
        self.outcomes = {}          # activity name -> marks in answer order
        self.start_to_graded = []   # seconds from Start (or Continue) to the graded answer
        self.proc = None
        self.size = "1024"
        self.pending = []           # screenshots being taken
        self.stopped_at = None      # log line of the question stopped with Escape
        self.listened = None        # seconds the question played alone, and its length as written

    def shot(self, name, wait=True):
        command = ["import", "-window", self.wid, os.path.join(self.shots, "%s-%s.png" % (name, self.size))]
        if wait:
            subprocess.run(command, check=True)
        else:  # while taps are due: the picture is taken beside them
            self.pending.append(subprocess.Popen(command))

    def press(self, *names, settle=1.2):
        xdo("windowfocus", "--sync", self.wid)
        xdo("key", "--clearmodifiers", *names)
        time.sleep(settle)

    def answer(self, activity, how, number, late=None, semitones=0, shot=None, choose=None):
        """Start (or Continue), then the answer in time with the music: taps (the tap of note `late`
        0.2 s late; "early": the same taps begun two beats early, in the count-in), a sung voice
        (`semitones` off the written notes, or a list of them, one per note) or nothing at all
        ("silent"). `choose`, given the question's events, returns (how, semitones) once the
        question is known. `shot` names a screenshot taken while the answer is heard (a sung one:
        in its last note)."""
        since = self.lw.mark()
        started = time.monotonic()
        self.press("Return", settle=0)
        if shot is not None and how == "tapped":
            # the question's pass, its note marked on the score
            i, _ = self.lw.wait(r"recv marker: 1000\b", since, 90, self.proc)
            time.sleep(0.9)
            self.shot(shot + "-question")
        i, _ = self.lw.wait(r"recv marker: 1003\b", since, 90, self.proc)
        capture_seen = time.monotonic()
        gmn, tempo = self.lw.question(i)
        events = gmn_events(gmn)
        if choose is not None:
            how, semitones = choose(events)
        voice = None
        if how == "sang":
            # the answer begins 2 s after this marker; paplay takes a moment to start
            wav = os.path.join(self.scratch, "sung-%d.wav" % number)
            shifts = semitones if isinstance(semitones, list) else [semitones] * len(events)
            sung_wav(wav, [(st, ln, m + shift if m is not None and m >= 0 else m)
                           for (st, ln, m), shift in zip(events, shifts)], tempo, 1.9)
            voice = subprocess.Popen(["paplay", "-d", "mic", wav])
            if shot is not None:
                # the answer begins 2 s after the marker; the last note ends the answer once graded:
                # shots in the middle of the first note and just before the last one
                sung = [e for e in events if e[2] is not None]
                begin = time.monotonic() + 2.0
                for n, moment in enumerate((sung[0][0] + 0.5 * sung[0][1], sung[-1][0] - 0.3)):
                    time.sleep(max(0.0, begin + moment * 60.0 / tempo - time.monotonic()))
                    self.shot("%s-%d" % (shot, n + 1), wait=False)
        elif how in ("tapped", "early"):
            if how == "early":
                # the answer begins 2 s after the capture marker: two beats before, in the count-in
                t0 = capture_seen + 2.0 - TAP_LEAD - 2 * 60.0 / tempo
            else:
                i, _ = self.lw.wait(r"recv marker: 1004\b", i, 30, self.proc)
                t0 = time.monotonic() - TAP_LEAD
            for n, (start, _length, midi) in enumerate(events):
                if midi is not None:
                    time.sleep(max(0.0, t0 + start * 60.0 / tempo + (0.2 if n == late else 0.0) - time.monotonic()))
                    xtest.fake_input(self.x, X.KeyPress, self.space)
                    xtest.fake_input(self.x, X.KeyRelease, self.space)
                    self.x.flush()
                    if shot is not None and n == 1:
                        self.shot(shot, wait=False)  # the first taps' notes coloured as graded
        _, m = self.lw.wait(r"submitQuestionOutcome: idx=(\d+) outcome=([-\d.]+)", i, 90, self.proc)
        if voice is not None:
            voice.wait(30)
        for picture in self.pending:
            picture.wait(30)
        self.pending = []
        mark = float(m.group(2))
        self.outcomes.setdefault(activity, []).append(mark)
        self.start_to_graded.append(time.monotonic() - started)
        log("%s: %s %s -> %.3f" % (activity, how, gmn, mark))
        time.sleep(0.8)
        return how, semitones, events, since

    def resize(self, width, height):
        xdo("windowsize", "--sync", self.wid, str(width), str(height))
        self.size = str(width)
        time.sleep(1.5)

    def practice_and_statistics(self):
        self.press("ctrl+2", settle=2.0)
        self.shot("practice")
        self.press("ctrl+3", settle=2.0)
        self.shot("statistics")

    def next_refused(self):
        """Ctrl+Right where the next activity is still locked: nothing moves."""
        since = self.lw.mark()
        self.press("ctrl+Right", settle=1.5)
        self.shot("next-refused")
        for line in self.lw.lines[since:self.lw.mark()]:
            if "saving current activity" in line:
                fail("Ctrl+Right opened a locked activity: " + line)

    def listen(self):
        """The Listen key: the question alone, followed on the score, no lead-in and no count-in."""
        since = self.lw.mark()
        self.press("l", settle=0)
        begin, _ = self.lw.wait(r"zq-sproxy\s+attempting to begin playback", since, 20, self.proc)
        time.sleep(1.0)
        self.shot("listen")
        end, _ = self.lw.wait(r"zq-sproxy\s+playback stopped", begin, 30, self.proc)
        gmn, tempo = self.lw.question(begin)
        written = sum(length for _, length, _ in gmn_events(gmn)) * 60.0 / tempo
        played = log_time(self.lw.lines[end]) - log_time(self.lw.lines[begin])
        engine = [line for line in self.lw.lines[begin:end] if "recv marker" in line]
        if engine:
            fail("the exercise engine ran while the question was heard alone: " + engine[0])
        # the score's own timeline: its first note at 0 (a count-in or the engine's lead-in would put
        # it later) and its end marker where the written notes end; the synthesizer's tail follows
        timeline = "\n".join(self.lw.lines[begin:end])
        first = re.search(r"marker id: 0\s+pos: ([\d.]+)", timeline)
        last = re.search(r"marker id: -1\s+pos: ([\d.]+)", timeline)
        if not first or not last or float(first.group(1)) != 0.0 or abs(float(last.group(1)) - written) > 0.01:
            fail("Listen's timeline for %s at %d (%.2f s): first note %s, end %s"
                 % (gmn, tempo, written, first and first.group(1), last and last.group(1)))
        if not written <= played <= written + 2.5:
            fail("Listen played %.2f s of a question %.2f s long (%s at %d)" % (played, written, gmn, tempo))
        self.listened = (played, written)
        log("Listen: first note at 0 s, %.2f s of notes, %.2f s with the sound's tail (%s)" % (written, played, gmn))
        time.sleep(0.8)

    def stop_with_escape(self):
        """Start, then Escape while the question plays: the question ends and nothing is recorded."""
        since = self.lw.mark()
        self.press("Return", settle=0)
        self.lw.wait(r"recv marker: 1000\b", since, 60, self.proc)
        time.sleep(0.6)
        self.shot("question-running")
        escape = self.lw.mark()
        self.press("Escape", settle=0)
        self.lw.wait(r"\babort\b", escape, 10, self.proc)
        time.sleep(1.0)
        self.shot("question-stopped")
        time.sleep(4.0)  # past where the answer's markers would have come
        for line in self.lw.lines[escape:self.lw.mark()]:
            if re.search(r"submitQuestionOutcome|recv marker: 100[2-6]", line):
                fail("the stopped question went on: " + line)
        self.stopped_at = escape
        log("Escape stopped the question; nothing recorded")

    def calibrate_twice(self):
        """Settings at 800x600: Calibrate twice, each time with a steady tone of its own in the
        microphone and the level meter running. Both succeed, each capture lasts the four seconds the
        page gives it (the microphone's samples, not the screen's clock, end it), and the second's peak
        is the one stored."""
        seconds = 4.0  # what the lesson page and the panel say
        button = None
        size = self.size
        self.resize(800, 600)
        for n, amplitude in enumerate((6000, 12000)):
            wav = os.path.join(self.scratch, "calibration-%d.wav" % n)
            with wave.open(wav, "wb") as w:
                w.setnchannels(1)
                w.setsampwidth(2)
                w.setframerate(44100)
                w.writeframes(b"".join(struct.pack("<h", int(amplitude * math.sin(2 * math.pi * 330 * i / 44100)))
                                       for i in range(44100 * 30)))
            voice = subprocess.Popen(["paplay", "-d", "mic", wav])
            time.sleep(1.0)
            since = self.lw.mark()
            # the button sits at the panel's left edge: walk down it until the capture starts
            for y in ([button] if button else range(380, 600, 10)):
                xdo("mousemove", "--window", self.wid, "60", str(y))
                xdo("click", "1")
                time.sleep(0.3)
                if any("startCapture" in line for line in self.lw.lines[since:self.lw.mark()]):
                    button = y
                    break
            begin, _ = self.lw.wait(r"zq-calibrator\s+startCapture", since, 5, self.proc)
            time.sleep(1.5)
            self.shot("calibrating-%d" % (n + 1))
            end, m = self.lw.wait(r"largest sample (\d+) \(peak [\d.]+\) of (\d+) samples", begin, 20, self.proc)
            took = log_time(self.lw.lines[end]) - log_time(self.lw.lines[begin])
            time.sleep(0.5)
            self.shot("calibrated-%d" % (n + 1))
            voice.terminate()
            voice.wait(30)
            db = sqlite3.connect(os.path.join(self.data, "Brisola.db"))
            stored = dict(db.execute("SELECT name, value FROM settings WHERE name LIKE 'input_mic_%'").fetchall())
            db.close()
            largest, samples = int(m.group(1)), int(m.group(2))
            log("calibration %d: %.2f s, %d samples, largest sample %d, stored %s"
                % (n + 1, took, samples, largest, stored))
            if samples != int(seconds * 44100) or not seconds - 0.1 <= took <= seconds + 2.0:
                fail("calibration %d captured %d samples in %.2f s; the page says %.0f seconds"
                     % (n + 1, samples, took, seconds))
            if abs(largest - amplitude) > 0.05 * amplitude:
                fail("calibration %d heard %d of a tone of %d" % (n + 1, largest, amplitude))
            if stored.get("input_mic_calibrated") != "true" or \
                    abs(float(stored.get("input_mic_peak_amplitude", 0)) - 2 * largest / 32768.0) > 1e-6:
                fail("calibration %d left %s" % (n + 1, stored))
        self.resize(int(size), {"800": 600, "1024": 768}[size])

    def count_in_taps(self, events, since):
        """The answer begun two beats early: the taps in the count-in are counted, not graded, and
        the page says so (count-in-taps-graded)."""
        taps = sum(1 for _, _, m in events if m is not None)
        _, m = self.lw.wait(r"(\d+) inputs came before the first note's reach and were not graded", since, 10,
                            self.proc)
        if int(m.group(1)) != 2:
            fail("%s inputs counted as too early of two taps in the count-in" % m.group(1))
        mark = self.outcomes["beat_tapping_1"][2]
        if abs(mark - (taps - 2) / taps) > 0.13:
            fail("the answer begun two beats early graded %.3f, not about %d of %d notes" % (mark, taps - 2, taps))
        log("two taps in the count-in: counted as too early, %d of %d notes answered" % (taps - 2, taps))

    def pitch_singing(self):
        """Three questions: nothing sung, a semitone off, a fourth off. The fourth goes to the
        bass-clef question (A3) whenever it is drawn: its wrong note (D4) must stay on the bass staff."""
        remaining = ["silent", "semitone", "fourth"]
        kinds = {"silent": ("silent", 0), "semitone": ("sang", 1), "fourth": ("sang", 5)}
        self.pitch_kinds, self.bass_wrong = [], None

        def choose(events):
            if bass_clef(events) and "fourth" in remaining:
                kind = "fourth"
            else:
                kind = next((k for k in remaining if k != "fourth"), "fourth")
            remaining.remove(kind)
            self.pitch_kinds.append(kind)
            self.pitch_bass = bass_clef(events)
            return kinds[kind]

        for q in range(3):
            _, _, events, since = self.answer("pitch_singing_1", None, q, choose=choose)
            kind = self.pitch_kinds[-1]
            self.shot({"silent": "nothing-heard", "semitone": "semitone-graded", "fourth": "fourth-graded"}[kind])
            if kind == "fourth" and self.pitch_bass:
                self.bass_wrong = self.coloured_answer(since)
                self.shot("bass-clef-wrong-note")
        if self.bass_wrong is None:
            log("the bass-clef question was not drawn this time (3 of 4 are)")
        elif '\\clef<"f">' not in self.bass_wrong or 'color="red">' not in self.bass_wrong:
            fail("a wrong note on the bass-clef question is not drawn on a bass staff: " + self.bass_wrong)
        else:
            log("a fourth above A3 drawn on the bass staff: " + self.bass_wrong)

    def repeated_note(self):
        """Interval Singing 1 finished in tune, which opens Scale Singing 1; a scale there sung with
        its fourth note on the third's pitch again (E E where the scale has E F): that note alone is
        graded off, every other note right, the answer's score shows one red note and the mark loses
        part of one note only."""
        for q in (4, 5):
            self.answer("interval_singing_1", "sang", q)
        self.press("Return")                       # Finish: the exercise's mark
        self.shot("interval-summary")
        self.press("Return")                       # Next: Scale Singing 1
        self.shot("scale-intro")
        sung = {}

        def choose(events):
            notes = [n for n, (_, _, m) in enumerate(events) if m is not None and m >= 0]
            wrong, previous = notes[3], notes[2]
            shifts = [0] * len(events)
            shifts[wrong] = events[previous][2] - events[wrong][2]
            sung.update(wrong=wrong, shift=shifts[wrong], count=len(notes))
            return "sang", shifts

        _, _, events, since = self.answer("scale_singing_1", None, 6, choose=choose)
        self.shot("scale-repeated-note-graded")
        grades = {}
        for line in self.lw.lines[since:self.lw.mark()]:
            m = re.search(r"(\d+) -> pitch\s+offset:\s*[-\d.]+\s+expected:(\S+)\s+actual:(\S+)\s+delta:(-?\d+)", line)
            if m:
                if int(m.group(1)) in grades:
                    fail("note %s of the scale graded twice: %s" % (m.group(1), line))
                grades[int(m.group(1))] = (m.group(2), m.group(3), int(m.group(4)))
        notes = " ".join("%s" % m for _, _, m in events)
        expected = {n: (sung["shift"] if n == sung["wrong"] else 0) for n in range(sung["count"])}
        if {n: d for n, (_, _, d) in grades.items()} != expected:
            fail("the scale (MIDI %s) sung with note %d repeating the one before was graded %r; expected the "
                 "semitones off %r" % (notes, sung["wrong"], grades, expected))
        coloured = self.coloured_answer(since)
        if coloured.count('color="red"') != 1 or coloured.count('color="green"') != sung["count"] - 1:
            fail("the answer's score does not show one wrong note among right ones: " + coloured)
        mark, count = self.outcomes["scale_singing_1"][-1], sung["count"]
        if not (count - 1) / count < mark < 1.0:
            fail("one note of %d off graded %.3f" % (count, mark))
        log("scale sung with note %d repeating the one before: only it graded off (%s sung for %s), mark %.3f"
            % (sung["wrong"], grades[sung["wrong"]][1], grades[sung["wrong"]][0], mark))

    def coloured_answer(self, since):
        """The last coloured answer code the engine gave the answer's score since line since."""
        found = None
        for line in self.lw.lines[since:self.lw.mark()]:
            m = re.search(r'setGMNCode\(gmn="(.+)"\)\s*$', line)
            if m and "noteFormat" in m.group(1):
                found = m.group(1)
        if found is None:
            fail("no coloured answer in the log")
        return found

    def run(self):
        out = open(os.path.join(self.scratch, "stdout.txt"), "w")
        self.proc = subprocess.Popen([self.app, "--log-level=trace"], env=self.env, stdout=out,
                                     stderr=subprocess.STDOUT)
        self.wid = find_window(self.proc)
        self.x = display.Display()  # space bar presses through the X test extension: no process per beat
        self.space = self.x.keysym_to_keycode(XK.string_to_keysym("space"))
        self.lw = LogWatch(os.path.join(self.data, "Brisola.log"))
        time.sleep(2.5)
        self.shot("main")
        self.press("Return")                       # open the current activity: the first lesson
        self.shot("lesson")
        self.press("Return")                       # lesson read: on to the first exercise
        self.shot("exercise-intro")
        self.next_refused()                        # Note Tapping 1 is locked until this one is done
        self.listen()
        self.stop_with_escape()
        for q in range(3):
            how = "early" if q == 2 else "tapped"
            _, _, events, since = self.answer("beat_tapping_1", how, q, late=2 if q == 1 else None,
                                              shot="exercise-answering" if q == 0 else None)
            self.shot("exercise-graded" if q == 0 else "late-tap-graded" if q == 1 else "count-in-taps-graded")
        self.count_in_taps(events, since)
        self.press("Return")                       # Finish: the exercise's mark
        self.shot("exercise-summary")
        for name in ("note_tapping_1", "rhythm_tapping_1"):
            self.press("Return")                   # Next: the exercise completed opened this one
            for q in range(3):
                self.answer(name, "tapped", q)
            self.press("Return")
        self.press("Return")                       # the quiz
        self.shot("quiz-intro")
        for q in range(3):
            self.answer("rhythm_quiz", "tapped", q)
        self.press("Return")
        self.shot("quiz-result")
        self.resize(800, 600)                      # the rest of the course at the smallest size
        self.shot("quiz-result")
        self.press("Return")                       # the quiz completed Rhythm: on to Melody's lesson
        self.shot("singing-lesson")
        self.press("Return")                       # Pitch Singing 1
        self.pitch_singing()
        self.press("Return")
        self.shot("singing-summary")
        # two notes sung in tune, shot while the second sounds: the first heard and graded, the level live
        self.press("Return")                       # Interval Singing 1
        self.answer("interval_singing_1", "sang", 3, shot="singing-live")
        self.shot("interval-graded")
        self.repeated_note()
        self.practice_and_statistics()
        self.press("ctrl+1", settle=1.5)
        self.shot("main-after")
        self.press("Return", settle=2.0)           # the current exercise, opened again
        self.shot("exercise-intro")
        # settings at both sizes while a steady E4 on the microphone moves the level meter
        tone = os.path.join(self.scratch, "tone.wav")
        sung_wav(tone, [(0.0, 12.0, 64)], 120, 0.0)
        tone = subprocess.Popen(["paplay", "-d", "mic", tone])
        self.press("ctrl+4", settle=2.0)
        self.shot("settings")
        self.resize(1024, 768)
        self.shot("settings")
        tone.wait(30)
        self.calibrate_twice()
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
            fail("the program did not end after its window was closed")
        if rc != 0:
            fail("exit status %d" % rc)

    def check_database(self):
        db = sqlite3.connect(os.path.join(self.data, "Brisola.db"))
        rows = lambda sql: db.execute(sql).fetchall()

        # the question stopped with Escape left no row: three answers per activity
        answers = rows("SELECT variant, correctness FROM answers ORDER BY id")
        expected_variants = ([r"grade_1/rhythm/beat_tapping_1@quarters-[234]-4"] * 3
                             + [r"grade_1/rhythm/note_tapping_1@[a-z0-9-]+"] * 3
                             + [r"grade_1/rhythm/rhythm_tapping_1@[a-z0-9-]+"] * 3
                             + [r"grade_1/rhythm/(beat|note|rhythm)_tapping_1@[a-z0-9-]+"] * 3
                             + [r"grade_1/melody/pitch_singing_1@[a-z0-9]+"] * 3
                             + [r"grade_1/melody/interval_singing_1@[a-z0-9-]+"] * 3
                             + [r"grade_1/melody/scale_singing_1@[a-z0-9-]+"])
        if len(answers) != 19:
            fail("answers rows: %r" % answers)
        for (variant, _), pattern in zip(answers, expected_variants):
            if not re.fullmatch(pattern, variant):
                fail("answer variant %s does not match %s" % (variant, pattern))
        # the quiz drew one question from each exercise
        quiz_sources = sorted(v.split("@")[0].split("/")[-1] for v, _ in answers[9:12])
        if quiz_sources != ["beat_tapping_1", "note_tapping_1", "rhythm_tapping_1"]:
            fail("quiz questions came from %r" % quiz_sources)
        names = ["beat_tapping_1", "note_tapping_1", "rhythm_tapping_1", "rhythm_quiz", "pitch_singing_1",
                 "interval_singing_1"]
        logged = sum((self.outcomes[name] for name in names + ["scale_singing_1"]), [])
        # the database keeps two decimals
        for (variant, stored), shown in zip(answers, logged):
            if abs(stored - shown) > 0.005 + 1e-9:
                fail("answer %s stored %f, graded %f" % (variant, stored, shown))

        marks = rows("SELECT path, mark, ratingDelta FROM marks ORDER BY id")
        if [p for p, _, _ in marks] != ["grade_1/rhythm/beat_tapping_1", "grade_1/rhythm/note_tapping_1",
                                        "grade_1/rhythm/rhythm_tapping_1", "grade_1/rhythm/quiz",
                                        "grade_1/melody/pitch_singing_1", "grade_1/melody/interval_singing_1"]:
            fail("marks rows: %r" % marks)
        for (path, mark, _), name in zip(marks, names):
            mean = sum(self.outcomes[name]) / len(self.outcomes[name])
            if abs(mark - mean) > 0.005 + 1e-9:
                fail("mark of %s is %f, the mean of its answers %f" % (path, mark, mean))

        ratings = rows("SELECT rating, practice FROM ratings ORDER BY id")
        if len(ratings) != 6 or any(p not in ("false", 0) for _, p in ratings):
            fail("ratings rows: %r" % ratings)
        previous = 0
        for (rating, _), (_, _, delta) in zip(ratings, marks):
            if rating - previous != delta:
                fail("rating %d after %d does not match the stored delta %d" % (rating, previous, delta))
            previous = rating
        # what the statistics screen's headline and line show
        log("statistics: course rating %d, from %s" % (previous, " + ".join(
            "%d (%s, mark %.2f)" % (delta, path.split("/")[-1], mark) for path, mark, delta in marks)))

        states = dict(rows("SELECT path, state FROM element_state"))
        expected_states = {
            "COMPLETED": "grade_1/rhythm grade_1/rhythm/how_to_answer grade_1/rhythm/beat_tapping_1 "
                         "grade_1/rhythm/note_tapping_1 grade_1/rhythm/rhythm_tapping_1 grade_1/rhythm/quiz "
                         "grade_1/melody/singing_into_the_microphone grade_1/melody/pitch_singing_1 "
                         "grade_1/melody/interval_singing_1",
            "UNLOCKED": "grade_1 grade_1/melody grade_1/melody/scale_singing_1 grade_1/harmony/arpeggio_singing_1",
            "LOCKED": "grade_1/melody/quiz grade_1/exam grade_2 grade_2/rhythm/beat_tapping_2",
        }
        for state, paths in expected_states.items():
            for path in paths.split():
                if states.get(path) != state:
                    fail("element %s is %s, expected %s" % (path, states.get(path), state))
        # tapped in time (one tap late): every answer earns marks and each activity at least half. Not
        # more: on a loaded machine the audio clock, which dates the taps, falls behind the wall clock.
        for activity, marks in self.outcomes.items():
            if activity != "pitch_singing_1" and (min(marks) <= 0.0 or sum(marks) / len(marks) < 0.5):
                fail("%s graded %s" % (activity, marks))
        # the late tap cost its note, and only its note
        late = self.outcomes["beat_tapping_1"][1]
        if not 0.5 <= late < 1.0:
            fail("the answer with one late tap graded %s" % late)
        # nothing sung earns nothing; a semitone off earns less than right; a fourth off is wrong
        by_kind = dict(zip(self.pitch_kinds, self.outcomes["pitch_singing_1"]))
        silent, semitone, fourth = by_kind["silent"], by_kind["semitone"], by_kind["fourth"]
        if silent != 0.0 or not 0.0 <= semitone < 1.0 or fourth != 0.0:
            fail("sung answers graded %s" % self.outcomes["pitch_singing_1"])

    def small_screen(self):
        """A fresh learner on a screen of 800x600 with a window manager, which frames the window
        with a title bar, and clapping set to the microphone: the whole window (its frame and title
        bar, and the header) on the screen; the lesson on answering, the first clapping exercise
        saying to clap, not to tap on the keyboard, and the settings shot."""
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        app = wm = None
        try:
            number = xvfb.stdout.readline().strip()
            if not number:
                fail("no 800x600 display")
            shown = ":" + number
            wm = subprocess.Popen(["openbox", "--sm-disable"], env=dict(os.environ, DISPLAY=shown),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            end = time.monotonic() + 10
            while subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=dict(os.environ, DISPLAY=shown),
                                 capture_output=True, text=True).stdout.find("window id") < 0:
                if time.monotonic() > end or wm.poll() is not None:
                    fail("no window manager on the 800x600 screen")
                time.sleep(0.1)
            scratch = os.path.join(self.scratch, "small-screen")
            env = dict(os.environ, DISPLAY=shown, XDG_DATA_HOME=os.path.join(scratch, "data"),
                       TMPDIR=os.path.join(scratch, "tmp"))
            for d in ("data", "tmp"):
                os.makedirs(os.path.join(scratch, d))

            def start():
                proc = subprocess.Popen([self.app], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                end = time.monotonic() + 60
                while time.monotonic() < end:
                    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(proc.pid)], env=env,
                                           capture_output=True, text=True).stdout.split()
                    for wid in found:  # the main window, not the splash screen
                        size = subprocess.run(["xdotool", "getwindowgeometry", wid], env=env, capture_output=True,
                                              text=True).stdout
                        m = re.search(r"Geometry: (\d+)x(\d+)", size)
                        if m and int(m.group(1)) >= 700:
                            time.sleep(2.5)
                            return proc, wid
                    if proc.poll() is not None:
                        fail("the program ended (status %d) on the 800x600 screen" % proc.returncode)
                    time.sleep(0.2)
                fail("no window on the 800x600 screen")

            def stop(proc, wid):
                d = display.Display(shown)
                window = d.create_resource_object("window", int(wid))
                event = protocol.event.ClientMessage(
                    window=window, client_type=d.intern_atom("WM_PROTOCOLS"),
                    data=(32, [d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
                window.send_event(event, event_mask=X.NoEventMask)
                d.sync()  # see close_window
                d.close()
                if proc.wait(30) != 0:
                    fail("exit status %d on the 800x600 screen" % proc.returncode)

            def shot(name):
                subprocess.run(["import", "-window", "root", os.path.join(self.shots, "%s-800screen.png" % name)],
                               env=env, check=True)

            def keys(*names):
                subprocess.run(["xdotool", "windowfocus", "--sync", wid], env=env, check=True)
                subprocess.run(["xdotool", "key", "--clearmodifiers"] + list(names), env=env, check=True)
                time.sleep(1.5)

            app, wid = start()             # the learner's database, with the settings' first values
            stop(app, wid)
            db = sqlite3.connect(os.path.join(scratch, "data", "Brisola", "Brisola.db"))
            db.execute("UPDATE settings SET value = 'mic' WHERE name = 'input_default_clapping'")
            db.commit()
            db.close()
            app, wid = start()
            geometry = subprocess.run(["xwininfo", "-id", wid], env=env, capture_output=True, text=True).stdout
            x, y, w, h = (int(re.search(label + r":\s+(-?\d+)", geometry).group(1))
                          for label in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))
            # the frame round the window: left, right, top (the title bar), bottom
            extents = subprocess.run(["xprop", "-id", wid, "_NET_FRAME_EXTENTS"], env=env, capture_output=True,
                                     text=True).stdout
            frame = [int(v) for v in re.findall(r"\d+", extents.partition("=")[2])]
            if len(frame) != 4 or frame[2] < 10:
                fail("the window manager gave the window no title bar: %r" % extents)
            left, right, top, bottom = frame
            if x - left < 0 or y - top < 0 or x + w + right > 800 or y + h + bottom > 600:
                fail("the window at %d,%d %dx%d with its frame %r is partly off the 800x600 screen"
                     % (x, y, w, h, frame))
            log("800x600 screen: the window at %d,%d %dx%d in a frame of %r" % (x, y, w, h, frame))
            shot("main")
            keys("Return")                 # How to Answer
            shot("lesson-clapping")
            keys("Return")                 # lesson read: Beat Tapping 1, clapped
            shot("clapping-intro")
            keys("ctrl+4")                 # settings: Calibrate on the screen, not scrolled away
            shot("settings")
            stop(app, wid)
            app = None
        finally:
            if app is not None and app.poll() is None:
                app.kill()
                app.wait()
            if wm is not None:
                wm.terminate()
                wm.wait(10)
            xvfb.terminate()
            xvfb.wait(10)

    def check_quiet(self):
        """Nothing on the terminal; no warning in the log but those of a busy machine: a late callback,
        and a stream the sound system ended by itself that the program started again or went on with.
        PortAudio's ALSA host prints why it ended such a stream, and only then."""
        with open(os.path.join(self.scratch, "stdout.txt"), encoding="utf-8", errors="replace") as f:
            printed = f.read().splitlines()
        self.lw.mark()
        busy = ("time elapsed between invocations is unexpectedly high",
                "the sound system ended the stream by itself",
                "on a new stream (", "starting it again (")
        ended = [line for line in self.lw.lines if busy[1] in line]
        if ended:
            log("the sound system ended %d streams by itself; each was started again or went on" % len(ended))
            printed = [line for line in printed
                       if not re.match(r"Expression '.*' failed in 'src/hostapi/alsa/pa_linux_alsa.c', line: \d+$", line)]
        if "".join(printed).strip():
            fail("the program printed:\n" + "\n".join(printed)[:2000])
        noisy = [line for line in self.lw.lines if re.match(r"\s*(WARN|ERROR|FATAL)\b", line)
                 and not any(b in line for b in busy)]
        if noisy:
            fail("%d warnings in the log, the first: %s" % (len(noisy), "\n".join(noisy[:10])))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    args.app, args.build = os.path.abspath(args.app), os.path.abspath(args.build)
    session = Session(args)
    try:
        session.run()
    finally:
        if session.proc is not None and session.proc.poll() is None:
            session.proc.kill()
            session.proc.wait()
    session.check_database()
    session.check_quiet()
    session.small_screen()
    log("Start to graded answer: " + ", ".join("%.1f s" % t for t in session.start_to_graded))
    log("the run: %.0f s" % (time.monotonic() - T0))
    log("marks: " + json.dumps({k: [round(m, 3) for m in v] for k, v in session.outcomes.items()}))
    log("screenshots in " + session.shots)
    print("PASS", flush=True)


if __name__ == "__main__":
    main()
