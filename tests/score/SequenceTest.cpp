#include "ScoreFixture.h"

#include "audio/AudioBuffer.h"

#include <QDir>
#include <QTemporaryFile>

#include <cmath>

// Laying scores into a sequencer (count-in, metronome, rendering, syllables, markers) and the
// metronome's own beats.

TEST_F(SequenceTest, Timelines)
{
    enum { Plain, Accented, PlaybackOff, Refused, NoTemporaryFile };
    const struct { const char* code; int how; double start, offset; QStringList timeline; const char* assertion; QStringList logs; } rows[] = {
        {"[ \\meter<\"4/4\"> \\countIn c d e f | g a b c2 ]", Plain, 1.0, 3.4,
         {"tock@1", "tock@1.6", "tock@2.2", "tock@2.8", "score@3.4"}, nullptr, {}},
        // count-in: two dotted-quarter beats of 0.9 s; then 6/8 (0.9, 0.9) and 2/4 (0.6, 0.6)
        {"[ \\meter<\"6/8\"> \\countIn c/8 d e f g a | \\meter<\"2/4\"> c/4 d ]", Accented, 0.0, 1.8,
         {"tick@0", "tock@0.9", "score@1.8", "tick@1.8", "tock@2.7", "tick@3.6", "tock@4.2"}, nullptr, {}},
        {"[ \\meter<\"3/4\"> \\metronome<\"talking\"> c d e | f g a ]", Plain, 0.5, 0.5,
         {"score@0.5", "v1@0.5", "v2@1.1", "v3@1.7", "v1@2.3", "v2@2.9", "v3@3.5"}, nullptr, {}},
        {"[ \\meter<\"4/4\"> \\countIn c d e f ]", PlaybackOff, 0.0, 0.0, {"tock@0", "tock@0.6", "tock@1.2", "tock@1.8"}, nullptr, {}},
        // the C of octave 2 is the upper Do in any key; the rest gets nothing
        {"[ \\meter<\"2/4\"> \\key<2> \\countingOverlay \\solfegeOverlay d1/8 e/16 f# g/4 | c2/4 _ ]", Plain, 0.0, 0.0,
         {"c:1@0", "s:Do@0", "score@0", "c:&@0.3", "s:Re@0.3", "c:a@0.45", "s:Mi@0.45", "c:2@0.6", "s:Fa@0.6", "c:1@1.2",
          "s:Do2@1.2"}, nullptr, {}},
        // Ra and Me have no recording: skipped
        {"[ \\meter<\"4/4\"> \\solfegeOverlay c1/4 d& e& d& c/2 ]", Plain, 0.0, 0.0, {"s:Do@0", "score@0", "s:Do@2.4"}, nullptr,
         {"no sound for syllable \"Ra\"", "no sound for syllable \"Me\""}},
        {"[ \\meter<\"2/4\"> \\countingOverlay c d e ]", Plain, 0.0, 0.0, {"score@0"}, nullptr, {}},  // counting stopped
        // without measures the count-in and metronome are skipped after the assertion
        {"[ \\meter<\"C\"> \\countIn c d ]", Plain, 0.0, 0.0, {"score@0"}, "!m_measuresList.isEmpty()", {}},
        // a failed render (nothing the engine displays after a refused code, or no temporary file):
        // no score sound and no syllables, but beats, markers and offset as before
        {"[ \\meter<\"2/4\"> \\countIn \\countingOverlay c d ]", Refused, 0.0, 1.2, {"tock@0", "tock@0.6"}, "err == guidoNoErr",
         {"failed to render midi file"}},
        {"[ \\meter<\"2/4\"> \\countIn \\countingOverlay c d ]", NoTemporaryFile, 0.5, 1.7, {"tock@0.5", "tock@1.1"}, "midiFile.open()",
         {"failed to render midi file"}},
        // the engine accepts zero durations; the note list and the MIDI export cannot time them
        {"[ c/0 ]", Plain, 0.0, 0.0, {}, nullptr, {"failed to render midi file"}},
        {"[ \\countingOverlay c/0 d/4 ]", Plain, 0.0, 0.0, {}, nullptr, {"failed to render midi file"}},
        {"", Plain, 0.0, 0.0, {}, nullptr, {"score is empty; bailing out"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.code);
        AssertRecorder::clear();
        Score score;
        if (*r.code) {
            ASSERT_TRUE(score.setGMNCode(r.code));
        }
        score.setPlaybackEnabled(r.how != PlaybackOff);
        if (r.how == Accented) {
            score.setMetronomeScore(true);
            score.setMetronomeMode(Metronome::ModeAccented);
        }
        if (r.how == Refused) {
            ASSERT_FALSE(score.setGMNCode("[ c d"));
        }
        QTemporaryFile notADirectory;
        ASSERT_TRUE(notADirectory.open());
        const QByteArray tmp = qgetenv("TMPDIR");
        if (r.how == NoTemporaryFile)
            qputenv("TMPDIR", QFile::encodeName(notADirectory.fileName()));
        LogCapture::instance().clear();
        AudioSequencer sequencer(44100, 2);
        score.sequence(sequencer, r.start);
        EXPECT_EQ(timelineOf(sequencer), r.timeline);
        EXPECT_EQ(AssertRecorder::expressions(), r.assertion ? QStringList(r.assertion) : QStringList());
        // a timeline without the score's sound is not played (its silence would pass for it); Listen says why
        EXPECT_EQ(sequencer.missingSound().isEmpty(), !r.logs.contains("failed to render midi file"));
        EXPECT_NEAR(score.playbackOffset(), r.offset, 1e-9);
        for (const QString& line : r.logs)
            EXPECT_EQ(logged(line), 1) << qPrintable(line);
        // a marker per note at its start and the end marker, each with its target
        const double offset = score.playbackOffset();
        QStringList markers;
        for (int i = 0; r.how != PlaybackOff && score.noteCount() > 0 && i <= score.noteCount(); ++i)
            markers << QString("%1@%2").arg(i < score.noteCount() ? i : -1).arg(QString::number(
                           offset + (i < score.noteCount() ? score.noteList()[i].start() : score.duration()), 'g', 6));
        EXPECT_EQ(markersOf(sequencer), markers);
        for (const AudioMarkerRegion* m : sequencer.markerRegions())
            EXPECT_NE(m->target(), nullptr);
        if (r.how == PlaybackOff) {
            EXPECT_NEAR(sequencer.duration(), 4.8, 1e-9);  // the count-in and the silence of the score
        }
        qputenv("TMPDIR", tmp);
    }
    Score empty;
    EXPECT_FALSE(empty.prepare());
    EXPECT_FALSE(empty.play());
    // one warning each for Ra and Me, however often, and not again for a later score
    Score again;
    ASSERT_TRUE(again.setGMNCode("[ \\solfegeOverlay d&1/4 ]"));
    AudioSequencer sequencer(44100, 2);
    again.sequence(sequencer, 0.0);
    EXPECT_FALSE(LogCapture::instance().contains("no sound for syllable"));
}

namespace {
QStringList midiFiles() { return QDir(QDir::tempPath()).entryList({"ruvex_zq_score.*.midi"}, QDir::Files); }
}  // namespace

TEST_F(SequenceTest, RenderingThroughMidiAndTheSoundFont)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\bpm<120> c1/4 e g c2 ]"));
    AudioSequencer sequencer(44100, 2);
    const QStringList before = midiFiles();
    score.sequence(sequencer, 0.0);
    EXPECT_EQ(midiFiles(), before);  // the temporary MIDI file is removed by default
    ASSERT_EQ(timelineOf(sequencer), QStringList({"score@0"}));
    const AudioBuffer* buffer = sequencer.outputRegions()[0]->buffer();
    EXPECT_EQ(QList<int>({buffer->getChannelCount(), buffer->getSampleRate()}), QList<int>({2, 44100}));
    EXPECT_GE(buffer->duration(), score.duration() - 0.3);
    for (int i = 0; i < 4; ++i) {  // sound in each of the four notes
        const qint64 from = buffer->sampleIndexAt(score.noteList()[i].start() + 0.05);
        const qint64 to = buffer->sampleIndexAt(score.noteList()[i].start() + 0.3);
        double sum = 0.0;
        for (qint64 s = from; s < to; ++s)
            sum += double(buffer->getSamples()[int(s)]) * buffer->getSamples()[int(s)];
        EXPECT_GT(std::sqrt(sum / double(to - from)), 300.0) << "note " << i;
    }

    // the kept file: percussive notes are hand claps on channel 10 (no channel 1), and every voice
    // sounds (note-on, note, velocity 0.8 x 127 rounded) while the note list walks the first voice
    const struct { const char* code; QList<QByteArray> noteOns; int count; const char* absent; int notes; } rows[] = {
        {"[ \\meter<\"2/4\"> x x/8 x/8 ] (* percussive *)", {"\x99\x27\x66"}, 3, "\x90", 3},
        {"{ [ c1/4 d ], [ e1/4 f ] }", {"\x90\x3c\x66", "\x90\x3e\x66", "\x90\x40\x66", "\x90\x41\x66"}, 1, "\x99", 2},
    };
    for (const auto& r : rows) {
        Score kept;
        ASSERT_TRUE(kept.setGMNCode(r.code));
        kept.setAutoRemoveMidi(false);
        const QStringList old = midiFiles();
        AudioSequencer next(44100, 2);
        kept.sequence(next, 0.0);
        QByteArray midi;
        for (const QString& name : midiFiles()) {
            QFile file(QDir(QDir::tempPath()).filePath(name));
            if (!old.contains(name) && file.open(QIODevice::ReadOnly))
                midi += file.readAll();
            file.remove();
        }
        ASSERT_TRUE(midi.startsWith("MThd")) << r.code;
        for (const QByteArray& on : r.noteOns)
            EXPECT_EQ(midi.count(on), r.count) << r.code << " " << on.toHex().constData();
        EXPECT_FALSE(midi.contains(r.absent)) << r.code;
        EXPECT_EQ(kept.noteCount(), r.notes);
    }
}

TEST(Metronome, ModesAndTalkingBeyondSix)
{
    AssertRecorder::clear();
    LogCapture::instance().clear();
    Metronome metronome;
    const struct { Metronome::Mode mode; int beats; QStringList timeline; } rows[] = {
        {Metronome::ModeNone, 2, {}},
        {Metronome::ModeMonotone, 2, {"tock@0", "tock@1"}},
        // a talking metronome is silent past beat 6 with one warning
        {Metronome::ModeTalking, 7, {"v1@0", "v2@1", "v3@2", "v4@3", "v5@4", "v6@5"}},
        {Metronome::ModeTalking, 7, {"v1@0", "v2@1", "v3@2", "v4@3", "v5@4", "v6@5"}},
    };
    for (const auto& r : rows) {
        AudioSequencer sequencer(44100, 2);
        metronome.setMode(r.mode);
        for (int beat = 0; beat < r.beats; ++beat)
            metronome.sequenceBeat(sequencer, beat, beat);
        EXPECT_EQ(timelineOf(sequencer), r.timeline) << r.mode;
    }
    EXPECT_EQ(AssertRecorder::count(), 0);
    EXPECT_EQ(LogCapture::instance().linesContaining("talking metronome counts only 6 beats").size(), 1);

    // a mode outside the enumeration, or a run with no counts set, is a broken caller
    AudioSequencer sequencer(44100, 2);
    metronome.setMode(static_cast<Metronome::Mode>(9));
    metronome.sequenceBeat(sequencer, 0, 20.0);
    Metronome().sequence(sequencer, 0.0);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList({"0", "m_beatCount > 0", "m_tempo > 0", "m_beatsPerBar > 0"}));
    EXPECT_TRUE(sequencer.outputRegions().isEmpty());
}
