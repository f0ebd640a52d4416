#include "SequenceFixtures.h"

#include "audio/AudioBuffer.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"
#include "support/Watchdog.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cmath>

// Laying scores into a sequencer: count-in, metronome, rendering, syllables, markers.

TEST_F(SequenceTest, CountInShiftsScoreMarkersAndOffset)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"4/4\"> \\countIn c d e f | g a b c2 ]"));
    AudioSequencer sequencer(44100, 2);
    score.sequence(sequencer, 1.0);

    QList<int> sounds;
    expectPositions(beatPositions(sequencer, &sounds), {1.0, 1.6, 2.2, 2.8});
    EXPECT_EQ(sounds, QList<int>({1, 1, 1, 1}));  // monotone: tock on every beat
    const QList<const AudioOutputRegion*> rendered = renderedRegions(sequencer);
    ASSERT_EQ(rendered.size(), 1);
    EXPECT_NEAR(rendered[0]->position(), 3.4, 1e-9);
    EXPECT_NEAR(score.playbackOffset(), 3.4, 1e-9);

    const QList<QPair<int, double>> markers = markersOf(sequencer);
    ASSERT_EQ(markers.size(), 9);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(markers[i].first, i);
        EXPECT_NEAR(markers[i].second, 3.4 + 0.6 * i, 1e-9);
    }
    EXPECT_EQ(markers[8].first, -1);
    EXPECT_NEAR(markers[8].second, 3.4 + 4.8, 1e-9);
    for (const AudioMarkerRegion* m : sequencer.markerRegions())
        EXPECT_NE(m->target(), nullptr);
}

TEST_F(SequenceTest, CompoundCountInAndMetronomeOverEveryMeasure)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"6/8\"> \\countIn c/8 d e f g a | \\meter<\"2/4\"> c/4 d ]"));
    score.setMetronomeScore(true);
    score.setMetronomeMode(Metronome::ModeAccented);
    AudioSequencer sequencer(44100, 2);
    score.sequence(sequencer, 0.0);
    QList<int> sounds;
    // count-in: two dotted-quarter beats of 0.9 s; then 6/8 (0.9, 0.9) and 2/4 (0.6, 0.6)
    expectPositions(beatPositions(sequencer, &sounds), {0.0, 0.9, 1.8, 2.7, 3.6, 4.2});
    EXPECT_EQ(sounds, QList<int>({0, 1, 0, 1, 0, 1}));
    EXPECT_NEAR(score.playbackOffset(), 1.8, 1e-9);
}

TEST_F(SequenceTest, TalkingMetronomeCountsEachMeasure)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"3/4\"> \\metronome<\"talking\"> c d e | f g a ]"));
    AudioSequencer sequencer(44100, 2);
    score.sequence(sequencer, 0.5);
    QList<int> sounds;
    expectPositions(beatPositions(sequencer, &sounds), {0.5, 1.1, 1.7, 2.3, 2.9, 3.5});
    EXPECT_EQ(sounds, QList<int>({2, 3, 4, 2, 3, 4}));
    EXPECT_NEAR(score.playbackOffset(), 0.5, 1e-9);
}

TEST_F(SequenceTest, PlaybackOffAddsOnlySilence)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"4/4\"> \\countIn c d e f ]"));
    score.setPlaybackEnabled(false);
    AudioSequencer sequencer(44100, 2);
    score.sequence(sequencer, 0.0);
    EXPECT_EQ(sequencer.outputRegions().size(), 4);  // the count-in only
    EXPECT_TRUE(renderedRegions(sequencer).isEmpty());
    EXPECT_TRUE(sequencer.markerRegions().isEmpty());
    EXPECT_NEAR(sequencer.duration(), 2.4 + 2.4, 1e-9);
    EXPECT_DOUBLE_EQ(score.playbackOffset(), 0.0);
}

TEST_F(SequenceTest, CountingAndSolfegeOverlays)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode(
        "[ \\meter<\"2/4\"> \\key<2> \\countingOverlay \\solfegeOverlay d1/8 e/16 f# g/4 | c2/4 _ ]"));
    ASSERT_EQ(score.countingSyllableList(), QStringList({"1", "&", "a", "2", "1", ""}));
    ASSERT_EQ(score.solfegeSyllableList(), QStringList({"Do", "Re", "Mi", "Fa", "Te", ""}));
    AudioSequencer sequencer(44100, 2);
    LogCapture::instance().clear();
    AssertRecorder::clear();
    score.sequence(sequencer, 0.0);

    QMap<double, QStringList> spoken;
    for (const AudioOutputRegion* region : sequencer.outputRegions()) {
        for (auto it = Score::rhythmSyllables().begin(); it != Score::rhythmSyllables().end(); ++it)
            if (region->buffer() == it.value())
                spoken[region->position()] << "counting-" + it.key();
        for (auto it = Score::solfegeSyllables().begin(); it != Score::solfegeSyllables().end(); ++it)
            if (region->buffer() == it.value())
                spoken[region->position()] << "solfege-" + it.key();
    }
    // the C of octave 2 is the upper Do in any key; the rest gets nothing
    QMap<double, QStringList> expected;
    expected[0.0] = QStringList({"counting-1", "solfege-Do"});
    expected[0.3] = QStringList({"counting-&", "solfege-Re"});
    expected[0.45] = QStringList({"counting-a", "solfege-Mi"});
    expected[0.6] = QStringList({"counting-2", "solfege-Fa"});
    expected[1.2] = QStringList({"counting-1", "solfege-Do2"});
    ASSERT_EQ(spoken.keys().size(), expected.keys().size());
    int i = 0;
    for (auto it = expected.begin(); it != expected.end(); ++it, ++i) {
        EXPECT_NEAR(spoken.keys()[i], it.key(), 1e-9);
        EXPECT_EQ(spoken.values()[i], it.value());
    }
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(SequenceTest, SyllablesWithoutSoundAreSkippedWithOneWarning)
{
    Score score;
    // Ra and Me have no recording; "20?" is not spoken at all
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"4/4\"> \\solfegeOverlay c1/4 d& e& d& c/2 ]"));
    AudioSequencer sequencer(44100, 2);
    AssertRecorder::clear();
    LogCapture::instance().clear();
    score.sequence(sequencer, 0.0);
    EXPECT_EQ(AssertRecorder::count(), 0);
    // d& comes twice: one warning each for Ra and Me
    EXPECT_EQ(LogCapture::instance().linesContaining("no sound for syllable \"Ra\"").size(), 1);
    EXPECT_EQ(LogCapture::instance().linesContaining("no sound for syllable \"Me\"").size(), 1);
    int syllables = 0;
    for (const AudioOutputRegion* region : sequencer.outputRegions())
        syllables += region->buffer() == Score::solfegeSyllables().value("Do");
    EXPECT_EQ(syllables, 2);
    EXPECT_EQ(sequencer.outputRegions().size(), 3);  // the score and two Do

    // a second score does not warn again
    LogCapture::instance().clear();
    Score other;
    ASSERT_TRUE(other.setGMNCode("[ \\solfegeOverlay d&1/4 ]"));
    AudioSequencer second(44100, 2);
    other.sequence(second, 0.0);
    EXPECT_FALSE(LogCapture::instance().contains("no sound for syllable"));
}

TEST_F(SequenceTest, CountingOverlaySkippedWhenTheAnalysisStopped)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"2/4\"> \\countingOverlay c d e ]"));
    ASSERT_EQ(score.countingSyllableList().size(), 2);
    AudioSequencer sequencer(44100, 2);
    score.sequence(sequencer, 0.0);
    EXPECT_EQ(sequencer.outputRegions().size(), 1);
}

TEST_F(SequenceTest, MetronomeWithoutMeasuresSkipsTheBeats)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"C\"> \\countIn c d ]"));
    ASSERT_TRUE(score.measuresList().isEmpty());
    AudioSequencer sequencer(44100, 2);
    AssertRecorder::clear();
    score.sequence(sequencer, 0.0);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList({"!m_measuresList.isEmpty()"}));
    EXPECT_TRUE(beatPositions(sequencer).isEmpty());
    EXPECT_DOUBLE_EQ(score.playbackOffset(), 0.0);
    EXPECT_EQ(renderedRegions(sequencer).size(), 1);
    EXPECT_EQ(sequencer.markerRegions().size(), 3);
}

TEST_F(SequenceTest, EmptyScoreAddsNothing)
{
    Score score;
    AudioSequencer sequencer(44100, 2);
    LogCapture::instance().clear();
    score.sequence(sequencer, 0.0);
    EXPECT_TRUE(LogCapture::instance().contains("score is empty; bailing out"));
    EXPECT_TRUE(sequencer.outputRegions().isEmpty());
    EXPECT_TRUE(sequencer.markerRegions().isEmpty());
    EXPECT_DOUBLE_EQ(sequencer.duration(), 0.0);
    EXPECT_FALSE(score.prepare());
    EXPECT_FALSE(score.play());
}

TEST_F(SequenceTest, RealRenderThroughTheSoundFont)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\bpm<120> c1/4 e g c2 ]"));
    AudioSequencer sequencer(44100, 2);
    score.sequence(sequencer, 0.0);
    const QList<const AudioOutputRegion*> rendered = renderedRegions(sequencer);
    ASSERT_EQ(rendered.size(), 1);
    const AudioBuffer* buffer = rendered[0]->buffer();
    EXPECT_EQ(buffer->getChannelCount(), 2);
    EXPECT_EQ(buffer->getSampleRate(), 44100);
    EXPECT_GE(buffer->duration(), score.duration() - 0.3);
    // sound in each of the four notes
    for (int i = 0; i < 4; ++i) {
        const qint64 from = buffer->sampleIndexAt(score.noteList()[i].start() + 0.05);
        const qint64 to = buffer->sampleIndexAt(score.noteList()[i].start() + 0.3);
        double sum = 0.0;
        for (qint64 s = from; s < to; ++s)
            sum += double(buffer->getSamples()[int(s)]) * buffer->getSamples()[int(s)];
        EXPECT_GT(std::sqrt(sum / double(to - from)), 300.0) << "note " << i;
    }
}

namespace {

QStringList midiFiles()
{
    return QDir(QDir::tempPath()).entryList({"ruvex_zq_score.*.midi"}, QDir::Files);
}

// Sequences the score and takes the one MIDI file it left in the temporary directory.
QByteArray sequenceAndTakeMidi(Score& score)
{
    const QStringList before = midiFiles();
    AudioSequencer sequencer(44100, 2);
    score.sequence(sequencer, 0.0);
    QByteArray bytes;
    for (const QString& name : midiFiles()) {
        if (before.contains(name))
            continue;
        QFile file(QDir(QDir::tempPath()).filePath(name));
        EXPECT_TRUE(bytes.isEmpty()) << "more than one new file";
        if (file.open(QIODevice::ReadOnly))
            bytes = file.readAll();
        file.remove();
    }
    EXPECT_EQ(renderedRegions(sequencer).size(), 1);
    return bytes;
}

} // namespace

TEST_F(SequenceTest, PercussiveScoresRenderHandClapsOnChannelTen)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"2/4\"> x x/8 x/8 ] (* percussive *)"));
    score.setAutoRemoveMidi(false);
    const QByteArray midi = sequenceAndTakeMidi(score);
    ASSERT_TRUE(midi.startsWith("MThd"));
    // note-on, channel 9 counted from 0, note 39, velocity 0.8 x 127 rounded
    EXPECT_EQ(midi.count(QByteArray("\x99\x27\x66", 3)), 3);
    EXPECT_FALSE(midi.contains(QByteArray("\x90", 1)));

    Score melodic;
    ASSERT_TRUE(melodic.setGMNCode("[ a1/4 c2 ]"));
    melodic.setAutoRemoveMidi(false);
    const QByteArray notes = sequenceAndTakeMidi(melodic);
    EXPECT_EQ(notes.count(QByteArray("\x90\x45\x66", 3)), 1);  // a1 = MIDI 69
    EXPECT_EQ(notes.count(QByteArray("\x90\x48\x66", 3)), 1);  // c2 = MIDI 72
    EXPECT_FALSE(notes.contains(QByteArray("\x99", 1)));
}

TEST_F(SequenceTest, EveryVoiceIsRendered)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("{ [ c1/4 d ], [ e1/4 f ] }"));
    score.setAutoRemoveMidi(false);
    const QByteArray midi = sequenceAndTakeMidi(score);
    for (char note : {'\x3c', '\x3e', '\x40', '\x41'})  // c1 d1 e1 f1
        EXPECT_EQ(midi.count(QByteArray("\x90", 1) + note + QByteArray("\x66", 1)), 1) << int(note);
    // the note list still walks the first voice only
    EXPECT_EQ(score.noteList().size(), 2);
}

TEST_F(SequenceTest, CrowdOfVoicesRendersWithABoundedTail)
{
    // So many notes at once that the synthesizer steals voices and one never dies away.
    QStringList voices;
    for (int i = 0; i < 150; ++i)
        voices << QStringLiteral("[ c ]");
    Score score;
    ASSERT_TRUE(score.setGMNCode("{ " + voices.join(", ") + " }"));
    Watchdog watchdog(30000, "rendering 150 voices");
    AudioSequencer sequencer(44100, 2);
    score.sequence(sequencer, 0.0);
    const QList<const AudioOutputRegion*> rendered = renderedRegions(sequencer);
    ASSERT_EQ(rendered.size(), 1);
    EXPECT_LE(rendered[0]->duration(), score.duration() + 5.01);
}

TEST_F(SequenceTest, TemporaryMidiFilesAreRemovedByDefault)
{
    const QStringList before = midiFiles();
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ c d ]"));
    AudioSequencer sequencer(44100, 2);
    score.sequence(sequencer, 0.0);
    EXPECT_EQ(midiFiles(), before);
}

TEST_F(SequenceTest, NoTemporaryFileIsAFailedRender)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\countingOverlay c d ]"));
    const QByteArray saved = qgetenv("TMPDIR");
    // a plain file as the temporary directory: nothing can be created below it
    QTemporaryFile notADirectory;
    ASSERT_TRUE(notADirectory.open());
    qputenv("TMPDIR", QFile::encodeName(notADirectory.fileName()));
    AudioSequencer sequencer(44100, 2);
    AssertRecorder::clear();
    LogCapture::instance().clear();
    score.sequence(sequencer, 0.5);
    qputenv("TMPDIR", saved);
    EXPECT_TRUE(AssertRecorder::expressions().contains("midiFile.open()"));
    EXPECT_TRUE(LogCapture::instance().contains("failed to render midi file"));
    EXPECT_TRUE(sequencer.outputRegions().isEmpty());  // neither the score nor its syllables
    EXPECT_EQ(markersOf(sequencer).size(), 3);
    EXPECT_NEAR(score.playbackOffset(), 0.5, 1e-9);
}

TEST_F(SequenceTest, NothingToExportIsAFailedRender)
{
    Score score;
    ASSERT_TRUE(score.setGMNCode("[ \\meter<\"2/4\"> \\countIn \\countingOverlay c d ]"));
    // a refused code leaves the old notes but nothing the engine displays
    ASSERT_FALSE(score.setGMNCode("[ c d"));
    ASSERT_EQ(score.noteCount(), 2);
    AudioSequencer sequencer(44100, 2);
    AssertRecorder::clear();
    LogCapture::instance().clear();
    score.sequence(sequencer, 0.0);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList({"err == guidoNoErr"}));
    EXPECT_TRUE(LogCapture::instance().contains("failed to render midi file"));
    EXPECT_TRUE(renderedRegions(sequencer).isEmpty());
    EXPECT_EQ(beatPositions(sequencer).size(), 2);  // the count-in, but no syllables
    EXPECT_EQ(sequencer.outputRegions().size(), 2);
    EXPECT_EQ(markersOf(sequencer).size(), 3);
    EXPECT_NEAR(score.playbackOffset(), 1.2, 1e-9);
}

TEST_F(SequenceTest, AcceptedCodeTheReaderCannotTimeIsAFailedRenderWithoutFatalReport)
{
    // The engine accepts zero durations; the note list and the MIDI export cannot time them.
    for (const char* code : {"[ c/0 ]", "[ \\countingOverlay c/0 d/4 ]"}) {
        SCOPED_TRACE(code);
        Score score;
        ASSERT_TRUE(score.setGMNCode(code));
        AudioSequencer sequencer(44100, 2);
        AssertRecorder::clear();
        LogCapture::instance().clear();
        score.sequence(sequencer, 0.0);
        EXPECT_EQ(AssertRecorder::count(), 0) << AssertRecorder::expressions().join(", ").toStdString();
        EXPECT_TRUE(LogCapture::instance().contains("failed to render midi file"));
        EXPECT_TRUE(sequencer.outputRegions().isEmpty());
        EXPECT_EQ(markersOf(sequencer).size(), score.noteList().size() + 1);
    }
}
