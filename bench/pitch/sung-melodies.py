#!/usr/bin/env python3
# The pitch bench's second source of sung takes (bench_pitch runs it into its data folder): melodies
# made outside the bench's own singer, with scoops, late vibrato, repeats and per-note envelopes.
"""Makes a set of voice-like sung melodies with the notes they hold, for judging the detector of sung notes.
usage: sung-melodies.py [--notes-only] OUTDIR COUNT SEED [NOISE_DBFS]
--notes-only writes the melodies without singing them (for another voice to sing).
NOISE_DBFS adds Gaussian white room noise of that RMS level (full scale = 1.0) to every take.
Each melody: 2.0 s lead-in of room noise, then notes; a source of glottal-like pulses with vibrato, a scoop
into each note, jitter and shimmer, through three vowel formants, plus breath noise; optional room noise level.
Writes NAME.wav (44100 Hz mono 16-bit) and NAME.json: {"notes": [[midi, onset_s, offset_s], ...], "eighths": note
lengths in eighths, "tempo": bpm, "lead_in": 2.0}."""
import json, math, os, random, struct, sys, wave

SR = 44100
VOWELS = {"ah": (730, 1090, 2440), "oo": (300, 870, 2240), "ee": (270, 2290, 3010), "eh": (530, 1840, 2480)}

def resonator(freq, bw):
    r = math.exp(-math.pi * bw / SR)
    c = 2 * r * math.cos(2 * math.pi * freq / SR)
    return c, -r * r, 1 - r

def render(notes, vowel, vib_cents, noise_db, rng, total):
    n = int(total * SR)
    out = [0.0] * n
    phase = 0.0
    formants = [resonator(f, 60 + 0.06 * f) for f in VOWELS[vowel]]
    for midi, on, off in notes:
        f0 = 440.0 * 2 ** ((midi - 69) / 12)
        i0, i1 = int(on * SR), int(off * SR)
        states = [[0.0, 0.0] for _ in formants]
        vib_rate = rng.uniform(4.8, 6.2)
        for i in range(i0, min(i1, n)):
            t = (i - i0) / SR
            scoop = -60.0 * math.exp(-t / 0.035)                      # cents, glide into the note
            vib = vib_cents * math.sin(2 * math.pi * vib_rate * t) * min(1.0, max(0.0, (t - 0.15) / 0.2))
            jitter = rng.gauss(0, 4.0)
            f = f0 * 2 ** ((scoop + vib + jitter) / 1200)
            phase += f / SR
            phase -= math.floor(phase)
            src = (2 * phase - 1) if phase < 0.85 else (1 - (phase - 0.85) / 0.15 * 2)   # skewed pulse
            src += rng.gauss(0, 0.05)                                   # breath
            y = 0.0
            for (c1, c2, g), s in zip(formants, states):
                v = g * src + c1 * s[0] + c2 * s[1]
                s[1], s[0] = s[0], v
                y += v
            dur = (i1 - i0) / SR
            env = min(1.0, t / 0.04) * min(1.0, max(0.0, (dur - t) / 0.06)) * (1 + rng.gauss(0, 0.02))
            out[i] += y * env
    peak = max(1e-9, max(abs(v) for v in out))
    level = 10 ** (-6 / 20) / peak
    noise = 10 ** (noise_db / 20)
    return [max(-1.0, min(1.0, v * level + rng.uniform(-1, 1) * noise * math.sqrt(3))) for v in out]

def melody(rng):
    tempo = rng.choice([70, 90, 100, 120])
    beat = 60.0 / tempo
    low, high = rng.choice([(48, 64), (55, 72), (60, 76), (53, 69)])   # bass-baritone .. soprano-ish
    midi = rng.randint(low + 3, high - 3)
    t = 2.0
    notes, eighths = [], []
    for _ in range(rng.randint(5, 9)):
        beats = rng.choice([0.5, 1, 1, 1, 1.5, 2])
        length = beat * beats
        gap = rng.choice([0.0, 0.0, 0.05, 0.12])
        notes.append([midi, round(t, 4), round(t + length - gap, 4)])
        eighths.append(int(beats * 2))
        t += length
        midi = max(low, min(high, midi + rng.choice([-5, -4, -3, -2, -1, 0, 1, 2, 2, 3, 4, 5, 7, -7, 12 if rng.random() < 0.05 else 0])))
    return notes, eighths, tempo, t + 1.0

def add_noise(samples, dbfs, rng):
    sigma = 10 ** (dbfs / 20)
    return [max(-1.0, min(1.0, v + rng.gauss(0, sigma))) for v in samples]

def arguments(usage):
    """[--notes-only] OUTDIR COUNT SEED [NOISE_DBFS] from the command line, the folder made."""
    notes_only = "--notes-only" in sys.argv
    args = [a for a in sys.argv[1:] if a != "--notes-only"]
    if len(args) < 3:
        sys.exit(usage)
    os.makedirs(args[0], exist_ok=True)
    return notes_only, args[0], int(args[1]), int(args[2]), float(args[3]) if len(args) > 3 else None

def main():
    notes_only, outdir, count, seed, room = arguments(__doc__)
    rng = random.Random(seed)
    for k in range(count):
        notes, eighths, tempo, total = melody(rng)
        if notes_only:
            with open(os.path.join(outdir, "melody%02d.json" % k), "w") as f:
                json.dump({"notes": notes, "eighths": eighths, "tempo": tempo, "lead_in": 2.0}, f)
            continue
        vowel = rng.choice(list(VOWELS))
        vib = rng.choice([0, 20, 35, 50])
        noise_db = rng.choice([-75, -60, -50, -42])
        samples = render(notes, vowel, vib, noise_db, rng, total)
        if room is not None:
            samples = add_noise(samples, room, random.Random(seed * 1000 + k))
        name = "voice%02d_%s_v%d_n%d" % (k, vowel, vib, -noise_db)
        with wave.open(os.path.join(outdir, name + ".wav"), "wb") as w:
            w.setnchannels(1); w.setsampwidth(2); w.setframerate(SR)
            w.writeframes(b"".join(struct.pack("<h", int(round(v * 32767))) for v in samples))
        with open(os.path.join(outdir, name + ".json"), "w") as f:
            json.dump({"notes": notes, "eighths": eighths, "tempo": tempo, "lead_in": 2.0, "vowel": vowel, "vibrato_cents": vib, "noise_dbfs": noise_db,
                       "room_noise_dbfs": room}, f)
        print(name, len(notes), "notes")

if __name__ == "__main__":
    main()
