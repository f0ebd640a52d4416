// Ogg reading through the format front end, and the bytes of written WAV files.
#include "AudioFixtures.h"
#include "audio/AudioBuffer.h"
#include "audio/formats/AudioFormats.h"
#include "audio/formats/WavWriter.h"
#include "debug/Debugging.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QResource>
#include <QTemporaryDir>
#include <QtEndian>
#include <QUrl>

#include <cmath>
#include <functional>
#include <memory>

namespace {

using namespace AudioFixtures;

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class Formats : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        Debugging::setLoggingLevel(QsLogging::DebugLevel);
        LogCapture::instance().clear();
    }
    void TearDown() override { Debugging::setLoggingLevel(QsLogging::InfoLevel); }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    // 5 s stereo: 440 Hz left, 660 Hz right.
    QString stereoFile(const QString& name)
    {
        const QVector<short> s = makeSamples(5 * 44100, 2, [](int f, int c) {
            return short(std::lround(12000 * std::sin(2 * M_PI * (c ? 660.0 : 440.0) * f / 44100)));
        });
        EXPECT_TRUE(writeOgg(path(name), s, 2, 44100));
        return path(name);
    }
    // The buffer read, or null with the status in m_status.
    std::unique_ptr<AudioBuffer> read(const QString& file, double offset = 0.0, double duration = 0.0,
                                      AudioFormats::Type type = AudioFormats::TypeByName)
    {
        AudioBuffer* raw = reinterpret_cast<AudioBuffer*>(0x1);  // must be cleared on failure
        m_status = AudioFormats::read(&raw, file, type, offset, duration);
        return std::unique_ptr<AudioBuffer>(raw);
    }
    int m_status = -1;
    QTemporaryDir m_dir;
};

TEST_F(Formats, OggFilesDecodeWhateverTheirNameOrFailWithTheirStatus)
{
    // A mono file still claims two channels (so it lasts half as long in a stereo timeline); a URL, an
    // upper-case suffix, an explicit type whatever the name, compiled resources; a truncated file
    // keeps what decoded and ends; the headers alone or a cut first audio page are corrupt.
    const QString file = stereoFile(QStringLiteral("LOUD.OGG"));
    const QByteArray whole = contents(file);
    int audio = whole.indexOf("OggS");  // the first page with a granule position
    while (audio >= 0 && qFromLittleEndian<qint64>(whole.constData() + audio + 6) <= 0)
        audio = whole.indexOf("OggS", audio + 4);
    ASSERT_GT(audio, 0);
    ASSERT_TRUE(writeOgg(path("mono.ogg"), sine(44100, 1, 440, 10000), 1, 44100));
    ASSERT_TRUE(writeBytes(path("tone.bin"), whole));
    ASSERT_TRUE(writeBytes(path("syllable.ogg"), whole));
    ASSERT_TRUE(writeBytes(path("cut.ogg"), whole.left(whole.size() / 2)));
    ASSERT_TRUE(writeBytes(path("headers.ogg"), whole.left(audio)));
    ASSERT_TRUE(writeBytes(path("first-page-cut.ogg"), whole.left(audio + 200)));
    ASSERT_TRUE(writeBytes(path("fake.ogg"), QByteArray(5000, 'x')));
    ASSERT_TRUE(writeBytes(path("a.wav"), "RIFF"));
    ASSERT_TRUE(writeBytes(path("fixture.qrc"),
                           "<RCC><qresource prefix=\"/fixtures\"><file>syllable.ogg</file></qresource></RCC>"));
    QProcess rcc;
    rcc.setWorkingDirectory(m_dir.path());
    rcc.start(QStringLiteral(BRISOLA_RCC), {"-binary", "fixture.qrc", "-o", "fixture.rcc"});
    ASSERT_TRUE(rcc.waitForFinished(30000) && rcc.exitCode() == 0) << rcc.readAllStandardError().toStdString();
    ASSERT_TRUE(QResource::registerResource(path("fixture.rcc")));
    const AudioFormats::Type byName = AudioFormats::TypeByName;
    // samples read between low and high (-1: no buffer), and a line logged
    const struct { QString name; AudioFormats::Type type; int status, low, high; QString logged; } rows[] = {
        {path("mono.ogg"), byName, 0, 44100, 44100, "detected as an OGG file"},
        {QUrl::fromLocalFile(file).toString(), byName, 0, 441000, 441000, "detected as an OGG file"},
        {path("tone.bin"), AudioFormats::TypeOgg, 0, 441000, 441000, QString()},
        {"qrc:/fixtures/syllable.ogg", byName, 0, 441000, 441000, "detected as an OGG file"},
        {path("cut.ogg"), byName, 0, 44101, 440999, QString()},
        {path("nowhere.ogg"), byName, 1, -1, -1, path("nowhere.ogg") + " is missing"},
        {"qrc:/fixtures/none.ogg", byName, 1, -1, -1, "qrc:/fixtures/none.ogg is missing"},
        {path("fake.ogg"), byName, 3, -1, -1, "file does not appear to be an Ogg bitstream"},
        {path("headers.ogg"), byName, 3, -1, -1, "file appears to be corrupt"},
        {path("first-page-cut.ogg"), byName, 3, -1, -1, "file appears to be corrupt"},
        {path("a.wav"), byName, 4, -1, -1, path("a.wav") + " is unsupported"},
        {file, AudioFormats::Type(1), 4, -1, -1, file + " is unsupported"},  // neither by name nor Ogg
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name.toStdString());
        LogCapture::instance().clear();
        const auto b = read(r.name, 0.0, 0.0, r.type);
        EXPECT_EQ(m_status, r.status);
        EXPECT_GE(b ? b->getSampleCount() : -1, r.low);
        EXPECT_LE(b ? b->getSampleCount() : -1, r.high);
        EXPECT_EQ(b ? b->getChannelCount() : 2, 2);
        EXPECT_TRUE(r.logged.isEmpty() || LogCapture::instance().contains(r.logged));
    }
    QResource::unregisterResource(path("fixture.rcc"));

    // what the stereo file holds, whole or trimmed
    const auto b = read(file);
    ASSERT_TRUE(b);
    EXPECT_NEAR(dominantFrequency(channelOf(*b, 0).mid(0, 8192), 44100, 300, 800), 440, 2);
    EXPECT_NEAR(dominantFrequency(channelOf(*b, 1).mid(0, 8192), 44100, 300, 800), 660, 2);
    EXPECT_NEAR(rms(b->getSamples().constData(), b->getSampleCount()), 12000 / std::sqrt(2.0), 400);
    const auto part = read(file, 1.0, 2.0);
    ASSERT_TRUE(part);
    EXPECT_EQ(part->getSamples(), b->getSamples().mid(88200, 176400));
}

TEST_F(Formats, WavHeaderIsReadableAtOnceAndConversionsInterleaveShiftAndClamp)
{
    // 16-bit PCM, stereo, 22050 Hz; the RIFF and data sizes stay 0 until close
    const QByteArray header = QByteArray::fromHex("52494646 00000000 57415645 666d7420 10000000 0100 0200 22560000"
                                                  "88580100 0400 1000 64617461 00000000");
    WavWriter w;
    WavDesc d;
    d.channels = 2;
    d.sampleRate = 22050;
    ASSERT_EQ(w.open(path("st.wav"), d), 0);
    EXPECT_EQ(contents(path("st.wav")), header);
    const short l[] = {1, 2};
    const short r[] = {-1, -2};
    w.addData16lr(l, r, 2);
    const int li[] = {1 << 20, -(1 << 20)};
    const int ri[] = {256, -256};
    w.addData32lr(li, ri, 2, 4);  // 65536 -> 32767, -65536 -> -32768, 16, -16
    const short s[] = {-32768, 100};
    w.addData32(s, 2, 1);
    w.close();
    w.close();  // closing twice does nothing
    QByteArray expected = header + QByteArray::fromHex("0100 ffff 0200 feff ff7f 1000 0080 f0ff 00c0 3200");
    expected.replace(4, 4, QByteArray::fromHex("38000000")).replace(40, 4, QByteArray::fromHex("14000000"));
    EXPECT_EQ(contents(path("st.wav")), expected);
}

TEST_F(Formats, RejectedWavDescriptorsCreateNoFile)
{
    const struct { const char* name; std::function<void(WavDesc&)> change; int status; } cases[] = {
        {"three channels", [](WavDesc& d) { d.channels = 3; }, 1},
        {"48 kHz", [](WavDesc& d) { d.sampleRate = 48000; }, 1},
        {"8 bits", [](WavDesc& d) { d.bitsPerSample = 8; }, 2},
        {"format checked first", [](WavDesc& d) { d.formatTag = 3; d.channels = 5; }, 2},
    };
    WavWriter w;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WavDesc d;
        c.change(d);
        EXPECT_EQ(w.open(path("c.wav"), d), c.status);
        EXPECT_FALSE(QFile::exists(path("c.wav")));
    }
    EXPECT_EQ(w.open(path("no/such/dir.wav"), WavDesc()), 3);
}

}  // namespace
