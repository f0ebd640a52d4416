#!/usr/bin/env python3
"""Makes sung takes where the learner does not sing what the melody asks, with controls sung as asked,
for judging that grading gives no credit for what was not sung.
usage: sung-deviations.py [--notes-only] OUTDIR COUNT_PER_CASE SEED [NOISE_DBFS]
Cases (one deviation per take, at note index p, never the first or last note):
  hold      the melody repeats X (X X, each a quarter or longer); the learner holds one long X over both
  hold_ok   the same kind of melody, sung as asked (control)
  split     the melody holds one long X; the learner sings X twice (gap 0, 0.05 or 0.12 s)
  split_ok  the same kind of melody, sung as asked (control)
  wrong+1, wrong-1, wrong+2, wrong-2
            the melody repeats X at p; the learner sings X, then X moved by that many semitones
The voice is the one of sung-melodies.py (beside this file). NOISE_DBFS adds white room noise.
--notes-only writes the melodies and what is sung without singing them (for another voice to sing).
Writes NAME.wav (44100 Hz mono 16-bit) and NAME.json: {"notes": the melody's notes [[midi, onset_s, offset_s]...],
"sung": what was sung, "eighths": note lengths in eighths, "tempo": bpm, "case": C, "p": p, "lead_in": 2.0}.
Honest grading, note by note against "notes" as the singing exercise grades them: a "hold" take never has
every note right (the repeat was not sung); in a "wrong" take note p is never right; a control has every
note right. A "split" take's extra note is graded as the exercise's rules say."""
import importlib.util, json, os, random, struct, sys, wave

_spec = importlib.util.spec_from_file_location("sung_melodies", os.path.join(os.path.dirname(os.path.abspath(__file__)), "sung-melodies.py"))
voice = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(voice)

STEPS = [-5, -4, -3, -2, -1, 1, 2, 2, 3, 4, 5, 7, -7]  # no 0: repeats only where placed
CASES = ["hold", "hold_ok", "split", "split_ok", "wrong+1", "wrong-1", "wrong+2", "wrong-2"]


def melody(rng, kind):
    """The melody's notes on a grid of eighths, with a repeat (or, for "split", one long note) at p."""
    tempo = rng.choice([70, 90, 100, 120])
    eighth = 30.0 / tempo
    low, high = rng.choice([(48, 64), (55, 72), (60, 76), (53, 69)])
    count = rng.randint(5, 8)
    p = rng.randint(1, count - 2)
    midis, eighths = [], []
    midi = rng.randint(low + 3, high - 3)
    for i in range(count):
        if i > 0 and not (i == p and kind == "repeat"):
            while True:
                m = max(low, min(high, midi + rng.choice(STEPS)))
                if m != midi:
                    break
            midi = m
        midis.append(midi)
        e = rng.choice([1, 2, 2, 2, 3, 4])
        if kind == "split" and i == p - 1:
            e = rng.choice([2, 3, 4])
        if kind == "repeat" and i in (p - 1, p):
            e = rng.choice([2, 2, 3, 4])
        eighths.append(e)
    gaps = [rng.choice([0.0, 0.0, 0.05, 0.12]) for _ in range(count)]
    t, notes = 2.0, []
    for m, e, g in zip(midis, eighths, gaps):
        notes.append([m, round(t, 4), round(t + e * eighth - g, 4)])
        t += e * eighth
    return notes, eighths, tempo, p, t + 1.0


def sing(case, notes, eighths, tempo, p, rng):
    sung = [list(n) for n in notes]
    if case == "hold":
        sung = sung[:p - 1] + [[sung[p - 1][0], sung[p - 1][1], sung[p][2]]] + sung[p + 1:]
    elif case == "split":
        x = sung[p - 1]
        cut = round(x[1] + (eighths[p - 1] // 2) * 30.0 / tempo, 4)
        gap = rng.choice([0.0, 0.05, 0.12])
        sung = sung[:p - 1] + [[x[0], x[1], round(cut - gap, 4)], [x[0], cut, x[2]]] + sung[p:]
    elif case.startswith("wrong"):
        sung[p][0] = notes[p][0] + int(case[5:])
    return sung


def main():
    notes_only, outdir, per, seed, room = voice.arguments(__doc__)
    rng = random.Random(seed)
    for k in range(per):
        for case in CASES:
            notes, eighths, tempo, p, total = melody(rng, "split" if case.startswith("split") else "repeat")
            sung = sing(case, notes, eighths, tempo, p, rng)
            name = "dev%02d_%s" % (k, case.replace("+", "p").replace("-", "m"))
            if notes_only:
                with open(os.path.join(outdir, name + ".json"), "w") as f:
                    json.dump({"notes": notes, "sung": sung, "eighths": eighths, "tempo": tempo, "case": case, "p": p,
                               "lead_in": 2.0}, f)
                continue
            vowel = rng.choice(list(voice.VOWELS))
            vib = rng.choice([0, 20, 35, 50])
            noise_db = rng.choice([-75, -60, -50, -42])
            samples = voice.render(sung, vowel, vib, noise_db, rng, total)
            if room is not None:
                samples = voice.add_noise(samples, room, random.Random(seed * 1000 + k))
            with wave.open(os.path.join(outdir, name + ".wav"), "wb") as w:
                w.setnchannels(1); w.setsampwidth(2); w.setframerate(voice.SR)
                w.writeframes(b"".join(struct.pack("<h", int(round(v * 32767))) for v in samples))
            with open(os.path.join(outdir, name + ".json"), "w") as f:
                json.dump({"notes": notes, "sung": sung, "eighths": eighths, "tempo": tempo, "case": case, "p": p,
                           "lead_in": 2.0, "seed": seed * 1000 + k, "vowel": vowel, "vibrato_cents": vib, "room_noise_dbfs": room}, f)
            print(name, case, "p=%d" % p)


if __name__ == "__main__":
    main()
