// Note naming, frequencies, MIDI numbers and GMN octaves.
#include "pitch/Pitch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

void expectNote(double frequency, Pitch::Note note, int octave)
{
    Pitch::Note n = Pitch::C;
    int o = -5;
    Pitch::freqToNote(frequency, n, o);
    EXPECT_EQ(n, note) << frequency;
    EXPECT_EQ(o, octave) << frequency;
}

TEST(Pitch, FrequencyNamesNearestNoteAndOctave)
{
    // B3/C4 boundary: a quarter tone below C4 still names C4, a bit more names B3; nothing
    // audible is no note in octave 0
    const struct { double frequency; Pitch::Note note; int octave; } rows[] = {
        {440.0, Pitch::A, 4}, {261.6255653, Pitch::C, 4}, {27.5, Pitch::A, 0}, {16.0, Pitch::C, 0},
        {4186.01, Pitch::C, 8}, {261.6255653 * std::pow(2.0, -0.49 / 12), Pitch::C, 4},
        {261.6255653 * std::pow(2.0, -0.51 / 12), Pitch::B, 3}, {-1.0, Pitch::NONE, 0}, {0.0, Pitch::NONE, 0},
        {4.0, Pitch::NONE, 0},
    };
    for (const auto& r : rows)
        expectNote(r.frequency, r.note, r.octave);
}

TEST(Pitch, EveryNoteOfTheRangeRoundTrips)
{
    for (int octave = 0; octave <= 8; ++octave) {
        for (int n = 0; n < 12; ++n) {
            const Pitch::Note note = static_cast<Pitch::Note>(n);
            const double f = Pitch::noteToFreq(note, octave);
            for (double cents : {-45.0, 0.0, 45.0})
                expectNote(f * std::pow(2.0, cents / 1200.0), note, octave);
            EXPECT_EQ(Pitch::midiNote(note, octave), n + 12 * octave + 12);
        }
    }
    EXPECT_NEAR(Pitch::noteToFreq(Pitch::NONE, 7), 8.1757989, 1e-6);
    EXPECT_EQ(Pitch::midiNote(Pitch::NONE, 4), 0);
    EXPECT_EQ(Pitch::gmnToMidiOctave(1), 4);
    EXPECT_STREQ(Pitch::noteToStr(Pitch::NONE), "NONE");
    EXPECT_STREQ(Pitch::noteToStr(static_cast<Pitch::Note>(1)), "C#");
}

} // namespace
