#include "NotationFixtures.h"
#include "notation/MidiFileWriter.h"
#include "support/LogCapture.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

struct ReadBack {
    int format = -1;
    int tracks = -1;
    int division = -1;
    long microsPerQuarter = -1;
    bool endOfTrack = false;
    QStringList order;  // "+60@0" for a note-on, "-60@768" for a note-off
    QVector<int> channels;
    QList<int> velocities;  // of the note-ons
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
            r.order << QString("%1%2@%3").arg(on ? "+" : "-").arg(pitch).arg(tick);
            r.channels << (status & 0x0f);
            if (on)
                r.velocities << velocity;
        } else {
            ADD_FAILURE() << "unexpected status " << status;
            break;
        }
    }
    return r;
}

MidiExportParameters scoreParameters(int tempo = 100, int channel = 0)
{
    MidiExportParameters p;
    p.tempo = tempo;
    p.channel = channel;
    return p;
}

TEST(MidiFileWriterTest, NotesAsWritten)
{
    // 960 ticks a quarter; notes sound 0.8 of their written length at velocity 0.8 x 127.
    const struct {
        const char* code;
        const char* order;
        const char* velocities = nullptr;
        int tempo = 100;
        int channel = 0;
        float lengthFactor = 0.8f;
    } rows[] = {
        {"[ c1/4 d/8 _/8 {e/2, g} a#0/4 ]",
         "+60@0 -60@768 +62@960 -62@1344 +64@1920 +67@1920 -64@3456 -67@3456 +58@3840 -58@4608", "102 102 102 102 102"},
        {"[ d#-1/4 d#-1 d#-1/8 ]", "+39@0 -39@768 +39@960 -39@1728 +39@1920 -39@2304", nullptr, 120, 9},
        // tied notes are merged, and so are the pieces the engine cuts at a bar line
        {"[ \\tie(c/2 c/4 c/4) \\tie(d/4 e) ]", "+60@0 -60@3072 +62@3840 -62@4608 +64@4800 -64@5568"},
        {"[ \\meter<\"4/4\"> c/2 d/1 e/2 ]", "+60@0 -60@1536 +62@1920 -62@4992 +64@5760 -64@7296"},
        // note-offs come before note-ons at the same tick
        {"[ c/4 c c ]", "+60@0 -60@960 +60@960 -60@1920 +60@1920 -60@2880", nullptr, 100, 0, 1.0f},
        {"[ \\stacc(c/4) \\ten(d) \\slur(e f) \\accent(g) \\marcato(a) \\fermata(b) ]",
         "+60@0 -60@480 +62@960 -62@1824 +64@1920 -64@2880 +65@2880 -65@3840 +67@3840 -67@4608 +69@4800 -69@5568 "
         "+71@5760 -71@7296",
         "102 102 102 102 112 122 102"},
        // every voice in the one track on the one channel; a tie joins no note of another voice
        {"{[ c d e f ], [ e f g a ]}",
         "+60@0 +64@0 -60@768 -64@768 +62@960 +65@960 -62@1728 -65@1728 +64@1920 +67@1920 -64@2688 -67@2688 "
         "+65@2880 +69@2880 -65@3648 -69@3648",
         nullptr, 100, 9},
        {"{[ \\tie(c/2 c/2) ], [ d/2 c/2 ]}", "+60@0 +62@0 -62@1536 +60@1920 -60@3072 -60@3456"},
        // grace notes take no time and do not sound
        {"[ c/4 \\grace(d/16 e) f/4 ]", "+60@0 -60@768 +65@960 -65@1728"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.code);
        MidiExportParameters p = scoreParameters(r.tempo, r.channel);
        p.defaultDurationFactor = r.lengthFactor;
        const ReadBack got = parse(MidiFileWriter::toBytes(readOk(r.code, true).events, p));
        EXPECT_EQ(got.format, 0);
        EXPECT_EQ(got.tracks, 1);
        EXPECT_EQ(got.division, 960);
        EXPECT_EQ(got.microsPerQuarter, 60000000 / r.tempo);
        EXPECT_TRUE(got.endOfTrack);
        EXPECT_EQ(got.order.join(' ').toStdString(), r.order);
        EXPECT_EQ(got.channels, QVector<int>(got.channels.size(), r.channel));
        if (r.velocities) {
            QStringList velocities;
            for (int v : got.velocities)
                velocities << QString::number(v);
            EXPECT_EQ(velocities.join(' ').toStdString(), r.velocities);
        }
    }
}

TEST(MidiFileWriterTest, WritesThroughAFileAndReportsIoFailures)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/score.midi";
    QString error;
    ASSERT_TRUE(MidiFileWriter::writeCode(path, "{[ c d ], [ e f ]}", scoreParameters(), &error));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(parse(file.readAll()).velocities.size(), 4);

    LogCapture::instance().clear();
    EXPECT_FALSE(MidiFileWriter::writeCode(dir.path() + "/no/such/dir/x.midi", "[ c ]", scoreParameters(), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(LogCapture::instance().contains("could not write MIDI file"));
    // A full device: the write fails and is reported, not taken for success.
    error.clear();
    EXPECT_FALSE(MidiFileWriter::writeCode("/dev/full", "[ c d e f ]", scoreParameters(), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(MidiFileWriter::writeCode(dir.path() + "/bad.midi", "[ c ( ]", scoreParameters(), &error));
    EXPECT_FALSE(QFile::exists(dir.path() + "/bad.midi"));
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
    const ReadBack ok = parse(MidiFileWriter::toBytes({noteAt(69000)}, scoreParameters()));
    ASSERT_FALSE(ok.order.isEmpty());
    EXPECT_EQ(ok.order[0].toStdString(), "+60@" + std::to_string(69000LL * 3840));

    QTemporaryDir dir;
    const QString path = dir.path() + "/long.midi";
    QString error;
    LogCapture::instance().clear();
    EXPECT_TRUE(MidiFileWriter::toBytes({noteAt(70000)}, scoreParameters()).isEmpty());
    EXPECT_FALSE(MidiFileWriter::write(path, {noteAt(0), noteAt(70000)}, scoreParameters(), &error));
    EXPECT_TRUE(error.contains("does not fit"));
    EXPECT_TRUE(LogCapture::instance().contains("too long for a MIDI file"));
    EXPECT_FALSE(QFile::exists(path));
}

}  // namespace
