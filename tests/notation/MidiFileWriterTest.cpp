#include "notation/GmnReader.h"
#include "notation/MidiFileWriter.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QMap>
#include <QTemporaryDir>

namespace {

struct Note {
    long long on;
    long long off;
    int channel;
    int pitch;
    int velocity;
};

struct ReadBack {
    int format = -1;
    int tracks = -1;
    int division = -1;
    long microsPerQuarter = -1;
    bool endOfTrack = false;
    QList<Note> notes;
    QStringList order;  // "on60@0", "off60@768", ...
};

// A small reader of what the writer produces, independent of it.
ReadBack parse(const QByteArray& bytes)
{
    ReadBack r;
    auto u = [&](int i) { return int(uchar(bytes[i])); };
    auto be = [&](int i, int n) {
        long v = 0;
        for (int k = 0; k < n; ++k)
            v = (v << 8) | u(i + k);
        return v;
    };
    if (bytes.size() < 22 || bytes.left(4) != "MThd" || be(4, 4) != 6 || bytes.mid(14, 4) != "MTrk")
        return r;
    r.format = int(be(8, 2));
    r.tracks = int(be(10, 2));
    r.division = int(be(12, 2));
    const int end = 22 + int(be(18, 4));
    EXPECT_EQ(end, bytes.size());
    int i = 22;
    long long tick = 0;
    QMap<int, int> open;  // pitch -> index in notes
    while (i < end) {
        long delta = 0;
        int b;
        do {
            b = u(i++);
            delta = (delta << 7) | (b & 0x7f);
        } while (b & 0x80);
        tick += delta;
        const int status = u(i++);
        if (status == 0xff) {
            const int type = u(i++);
            const int len = u(i++);
            if (type == 0x51)
                r.microsPerQuarter = be(i, 3);
            if (type == 0x2f)
                r.endOfTrack = true;
            i += len;
        } else if ((status & 0xf0) == 0x90 || (status & 0xf0) == 0x80) {
            const int pitch = u(i++);
            const int velocity = u(i++);
            const bool on = (status & 0xf0) == 0x90 && velocity > 0;
            r.order << QString("%1%2@%3").arg(on ? "on" : "off").arg(pitch).arg(tick);
            if (on) {
                open[pitch] = r.notes.size();
                r.notes.append({tick, -1, status & 0x0f, pitch, velocity});
            } else if (open.contains(pitch)) {
                r.notes[open.take(pitch)].off = tick;
            }
        } else {
            ADD_FAILURE() << "unexpected status " << status;
            break;
        }
    }
    return r;
}

QList<GmnEvent> events(const QString& code)
{
    const GmnReader::Result r = GmnReader::read(code);
    EXPECT_TRUE(r.ok) << qPrintable(r.error);
    return r.events;
}

MidiExportParameters scoreParameters(int tempo, int channel)
{
    MidiExportParameters p;
    p.tempo = tempo;
    p.ticksPerQuarter = 960;
    p.channel = channel;
    p.intensity = 0.8f;
    p.defaultDurationFactor = 0.8f;
    return p;
}

TEST(MidiFileWriterTest, HeaderTempoNotesAndLengths)
{
    const ReadBack r = parse(MidiFileWriter::toBytes(events("[ c1/4 d/8 _/8 {e/2, g} a#0/4 ]"), scoreParameters(100, 0)));
    EXPECT_EQ(r.format, 0);
    EXPECT_EQ(r.tracks, 1);
    EXPECT_EQ(r.division, 960);
    EXPECT_EQ(r.microsPerQuarter, 600000);  // 100 quarters per minute
    EXPECT_TRUE(r.endOfTrack);
    ASSERT_EQ(r.notes.size(), 5);
    // c1 = 60; lengths are 0.8 of the written ones; velocity 0.8 x 127.
    EXPECT_EQ(r.notes[0].pitch, 60);
    EXPECT_EQ(r.notes[0].on, 0);
    EXPECT_EQ(r.notes[0].off, 768);
    EXPECT_EQ(r.notes[0].velocity, 102);
    EXPECT_EQ(r.notes[1].pitch, 62);
    EXPECT_EQ(r.notes[1].on, 960);
    EXPECT_EQ(r.notes[1].off, 960 + 384);
    // The chord starts after the rest, both notes together.
    EXPECT_EQ(r.notes[2].pitch, 64);
    EXPECT_EQ(r.notes[3].pitch, 67);
    EXPECT_EQ(r.notes[2].on, 1920);
    EXPECT_EQ(r.notes[3].on, 1920);
    EXPECT_EQ(r.notes[3].off, 1920 + 1536);  // a half note at 0.8
    EXPECT_EQ(r.notes[4].pitch, 58);
    EXPECT_EQ(r.notes[4].on, 1920 + 1920);
    for (const Note& n : r.notes)
        EXPECT_EQ(n.channel, 0);
}

TEST(MidiFileWriterTest, PercussionChannelAndClapPitch)
{
    const ReadBack r = parse(MidiFileWriter::toBytes(events("[ d#-1/4 d#-1 d#-1/8 ]"), scoreParameters(120, 9)));
    ASSERT_EQ(r.notes.size(), 3);
    for (const Note& n : r.notes) {
        EXPECT_EQ(n.channel, 9);
        EXPECT_EQ(n.pitch, 39);
    }
    EXPECT_EQ(r.microsPerQuarter, 500000);
}

TEST(MidiFileWriterTest, TiedNotesAreMergedAndDifferentPitchesAreNot)
{
    MidiExportParameters p = scoreParameters(100, 0);
    const ReadBack r = parse(MidiFileWriter::toBytes(events("[ \\tie(c/2 c/4 c/4) \\tie(d/4 e) ]"), p));
    ASSERT_EQ(r.notes.size(), 3);
    EXPECT_EQ(r.notes[0].pitch, 60);
    EXPECT_EQ(r.notes[0].on, 0);
    EXPECT_EQ(r.notes[0].off, 3072);  // one whole note at 0.8
    EXPECT_EQ(r.notes[1].pitch, 62);
    EXPECT_EQ(r.notes[2].pitch, 64);
    // Notes the engine cuts at a bar line sound as one.
    const ReadBack bar = parse(MidiFileWriter::toBytes(events("[ \\meter<\"4/4\"> c/2 d/1 e/2 ]"), p));
    ASSERT_EQ(bar.notes.size(), 3);
    EXPECT_EQ(bar.notes[1].on, 1920);
    EXPECT_EQ(bar.notes[1].off, 1920 + 3072);
}

TEST(MidiFileWriterTest, NoteOffsComeBeforeNoteOnsAtTheSameTick)
{
    MidiExportParameters p = scoreParameters(100, 0);
    p.defaultDurationFactor = 1.0f;
    const ReadBack r = parse(MidiFileWriter::toBytes(events("[ c/4 c c ]"), p));
    EXPECT_EQ(r.order.join(' '), "on60@0 off60@960 on60@960 off60@1920 on60@1920 off60@2880");
    ASSERT_EQ(r.notes.size(), 3);
    EXPECT_EQ(r.notes[1].off, 1920);
}

TEST(MidiFileWriterTest, ArticulationsChangeLengthAndVelocity)
{
    MidiExportParameters p = scoreParameters(100, 0);
    const ReadBack r = parse(MidiFileWriter::toBytes(
        events("[ \\stacc(c/4) \\ten(d) \\slur(e f) \\accent(g) \\marcato(a) \\fermata(b) ]"), p));
    ASSERT_EQ(r.notes.size(), 7);
    EXPECT_EQ(r.notes[0].off - r.notes[0].on, 480);
    EXPECT_EQ(r.notes[1].off - r.notes[1].on, 864);
    EXPECT_EQ(r.notes[2].off - r.notes[2].on, 960);
    EXPECT_EQ(r.notes[4].velocity, 112);  // 101.6 x 1.1
    EXPECT_EQ(r.notes[5].velocity, 122);  // 101.6 x 1.2
    EXPECT_EQ(r.notes[6].off - r.notes[6].on, 1536);
}

TEST(MidiFileWriterTest, WritesThroughAFileAndReportsIoFailures)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/score.midi";
    QString error;
    ASSERT_TRUE(MidiFileWriter::writeCode(path, "[ c d e f ]", scoreParameters(100, 0), &error));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(parse(file.readAll()).notes.size(), 4);

    LogCapture::instance().clear();
    EXPECT_FALSE(MidiFileWriter::writeCode(dir.path() + "/no/such/dir/x.midi", "[ c ]", scoreParameters(100, 0), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(LogCapture::instance().contains("could not write MIDI file"));

    // A full device: the write fails and is reported, not taken for success.
    if (QFile::exists("/dev/full")) {
        error.clear();
        EXPECT_FALSE(MidiFileWriter::writeCode("/dev/full", "[ c d e f ]", scoreParameters(100, 0), &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(QFile::exists("/dev/full"));
    }
    EXPECT_FALSE(MidiFileWriter::writeCode(dir.path() + "/bad.midi", "[ c ( ]", scoreParameters(100, 0), &error));
    EXPECT_FALSE(QFile::exists(dir.path() + "/bad.midi"));
}

TEST(MidiFileWriterTest, EveryVoiceGoesIntoTheOneTrack)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/voices.midi";
    QString error;
    ASSERT_TRUE(MidiFileWriter::writeCode(path, "{[ c d e f ], [ e f g a ]}", scoreParameters(100, 9), &error))
        << qPrintable(error);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const ReadBack r = parse(file.readAll());
    EXPECT_EQ(r.format, 0);
    EXPECT_EQ(r.tracks, 1);
    ASSERT_EQ(r.notes.size(), 8);
    // The voices sound together, beat by beat, on the one channel.
    QStringList onsets;
    for (const Note& n : r.notes) {
        onsets << QString("%1@%2").arg(n.pitch).arg(n.on);
        EXPECT_EQ(n.channel, 9);
        EXPECT_EQ(n.off - n.on, 768);
    }
    EXPECT_EQ(onsets.join(' ').toStdString(), "60@0 64@0 62@960 65@960 64@1920 67@1920 65@2880 69@2880");

    // A tie in one voice does not join a note of the same pitch in another.
    const GmnReader::Result tied = GmnReader::readVoices("{[ \\tie(c/2 c/2) ], [ d/2 c/2 ]}");
    ASSERT_TRUE(tied.ok);
    const ReadBack t = parse(MidiFileWriter::toBytes(tied.events, scoreParameters(100, 0)));
    ASSERT_EQ(t.notes.size(), 3);
    EXPECT_EQ(t.order.join(' ').toStdString(), "on60@0 on62@0 off62@1536 on60@1920 off60@3072 off60@3456");
}

TEST(MidiFileWriterTest, GraceNotesTakeNoTimeAndDoNotSound)
{
    const ReadBack r = parse(MidiFileWriter::toBytes(events("[ c/4 \\grace(d/16 e) f/4 ]"), scoreParameters(100, 0)));
    ASSERT_EQ(r.notes.size(), 2);
    EXPECT_EQ(r.notes[1].pitch, 65);
    EXPECT_EQ(r.notes[1].on, 960);
}

GmnEvent noteAt(long long wholeNotes)
{
    GmnEvent e;
    e.name = "c";
    e.start = NotationDate(wholeNotes, 1);
    e.end = NotationDate(4 * wholeNotes + 1, 4);
    return e;
}

TEST(MidiFileWriterTest, TimeStepsBeyondTheFileFormatAreRefused)
{
    // The longest step a delta time holds is 0x0fffffff ticks (69905 whole notes at 960 per quarter).
    const ReadBack ok = parse(MidiFileWriter::toBytes({noteAt(69000)}, scoreParameters(100, 0)));
    ASSERT_EQ(ok.notes.size(), 1);
    EXPECT_EQ(ok.notes[0].on, 69000LL * 3840);

    QTemporaryDir dir;
    const QString path = dir.path() + "/long.midi";
    QString error;
    LogCapture::instance().clear();
    EXPECT_TRUE(MidiFileWriter::toBytes({noteAt(70000)}, scoreParameters(100, 0)).isEmpty());
    EXPECT_FALSE(MidiFileWriter::write(path, {noteAt(0), noteAt(70000)}, scoreParameters(100, 0), &error));
    EXPECT_TRUE(error.contains("does not fit"));
    EXPECT_TRUE(LogCapture::instance().contains("too long for a MIDI file"));
    EXPECT_FALSE(QFile::exists(path));
}

}  // namespace
