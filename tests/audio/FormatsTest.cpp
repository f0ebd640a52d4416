// Ogg reading through the format front end, and the bytes of written WAV files.
#include "AudioFixtures.h"
#include "audio/AudioBuffer.h"
#include "audio/formats/AudioFormats.h"
#include "audio/formats/WavWriter.h"
#include "debug/Debugging.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QResource>
#include <QTemporaryDir>
#include <QUrl>

#include <cmath>
#include <memory>

namespace {

using namespace AudioFixtures;

class OggReading : public ::testing::Test {
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
    QString stereoFile(const QString& name = QStringLiteral("tone.ogg"))
    {
        const QVector<short> s = makeSamples(5 * 44100, 2, [](int f, int c) {
            return short(std::lround(12000 * std::sin(2 * M_PI * (c ? 660.0 : 440.0) * f / 44100)));
        });
        EXPECT_TRUE(writeOgg(path(name), s, 2, 44100));
        return path(name);
    }
    static QVector<short> channel(const AudioBuffer& b, int c)
    {
        QVector<short> out;
        for (int i = c; i < b.getSampleCount(); i += 2)
            out << b.getSamples()[i];
        return out;
    }
    QTemporaryDir m_dir;
};

TEST_F(OggReading, StereoFileDecodesWithItsLengthAndChannels)
{
    const QString file = stereoFile();
    AudioBuffer* raw = nullptr;
    ASSERT_EQ(AudioFormats::read(&raw, file, AudioFormats::TypeByName, 0.0, 0.0), AudioFormats::StatusSuccess);
    std::unique_ptr<AudioBuffer> b(raw);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->getChannelCount(), 2);
    EXPECT_EQ(b->getSampleRate(), 44100);
    EXPECT_EQ(b->getSampleCount(), 5 * 44100 * 2);
    EXPECT_NEAR(dominantFrequency(channel(*b, 0).mid(0, 8192), 44100, 300, 800), 440, 2);
    EXPECT_NEAR(dominantFrequency(channel(*b, 1).mid(0, 8192), 44100, 300, 800), 660, 2);
    EXPECT_NEAR(rms(b->getSamples().constData(), b->getSampleCount()), 12000 / std::sqrt(2.0), 400);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("detected as an OGG file")));
}

TEST_F(OggReading, TrimmedReadKeepsTheRequestedWindow)
{
    const QString file = stereoFile();
    AudioBuffer* whole = nullptr;
    AudioBuffer* part = nullptr;
    ASSERT_EQ(AudioFormats::read(&whole, file, AudioFormats::TypeByName, 0.0, 0.0), 0);
    ASSERT_EQ(AudioFormats::read(&part, file, AudioFormats::TypeByName, 1.0, 2.0), 0);
    std::unique_ptr<AudioBuffer> w(whole), p(part);
    ASSERT_EQ(p->getSampleCount(), 2 * 44100 * 2);
    EXPECT_EQ(p->getSamples(), w->getSamples().mid(88200, 176400));
}

TEST_F(OggReading, MonoFileStillClaimsTwoChannels)
{
    ASSERT_TRUE(writeOgg(path("mono.ogg"), sine(44100, 1, 440, 10000), 1, 44100));
    AudioBuffer* raw = nullptr;
    ASSERT_EQ(AudioFormats::read(&raw, path("mono.ogg"), AudioFormats::TypeByName, 0.0, 0.0), 0);
    std::unique_ptr<AudioBuffer> b(raw);
    EXPECT_EQ(b->getChannelCount(), 2);
    EXPECT_EQ(b->getSampleCount(), 44100);  // so it lasts half as long in a stereo timeline
    EXPECT_DOUBLE_EQ(b->duration(), 0.5);
}

TEST_F(OggReading, FileUrlWithUpperCaseSuffixIsOgg)
{
    const QString file = stereoFile(QStringLiteral("LOUD.OGG"));
    AudioBuffer* raw = nullptr;
    EXPECT_EQ(AudioFormats::read(&raw, QUrl::fromLocalFile(file).toString(), AudioFormats::TypeByName, 0.0, 0.0), 0);
    std::unique_ptr<AudioBuffer> b(raw);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->getSampleCount(), 5 * 44100 * 2);
}

TEST_F(OggReading, ReadsFromCompiledResources)
{
    stereoFile(QStringLiteral("syllable.ogg"));
    QFile qrc(path("fixture.qrc"));
    ASSERT_TRUE(qrc.open(QIODevice::WriteOnly));
    qrc.write("<RCC><qresource prefix=\"/fixtures\"><file>syllable.ogg</file></qresource></RCC>");
    qrc.close();
    QProcess rcc;
    rcc.setWorkingDirectory(m_dir.path());
    rcc.start(QStringLiteral(BRISOLA_RCC), {QStringLiteral("-binary"), QStringLiteral("fixture.qrc"),
                                             QStringLiteral("-o"), QStringLiteral("fixture.rcc")});
    ASSERT_TRUE(rcc.waitForFinished(30000));
    ASSERT_EQ(rcc.exitCode(), 0) << rcc.readAllStandardError().toStdString();
    ASSERT_TRUE(QResource::registerResource(path("fixture.rcc")));

    AudioBuffer* raw = nullptr;
    EXPECT_EQ(AudioFormats::read(&raw, QStringLiteral("qrc:/fixtures/syllable.ogg"), AudioFormats::TypeByName,
                                 0.0, 0.5),
              0);
    std::unique_ptr<AudioBuffer> b(raw);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->getSampleCount(), 44100);
    QResource::unregisterResource(path("fixture.rcc"));
}

TEST_F(OggReading, MissingFilesAndEmptyPathAreStatusOne)
{
    AudioBuffer* raw = reinterpret_cast<AudioBuffer*>(0x1);
    EXPECT_EQ(AudioFormats::read(&raw, path("nowhere.ogg"), AudioFormats::TypeByName, 0, 0), 1);
    EXPECT_EQ(raw, nullptr);
    EXPECT_TRUE(LogCapture::instance().contains(path("nowhere.ogg") + QStringLiteral(" is missing")));
    EXPECT_EQ(AudioFormats::read(&raw, QString(), AudioFormats::TypeByName, 0, 0), 1);
    EXPECT_EQ(AudioFormats::read(&raw, QStringLiteral("qrc:/fixtures/none.ogg"), AudioFormats::TypeByName, 0, 0), 1);
}

TEST_F(OggReading, NotOggIsStatusThreeWithoutBuffer)
{
    QFile f(path("fake.ogg"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(5000, 'x'));
    f.close();
    AudioBuffer* raw = nullptr;
    EXPECT_EQ(AudioFormats::read(&raw, path("fake.ogg"), AudioFormats::TypeByName, 0, 0), 3);
    EXPECT_EQ(raw, nullptr);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("file does not appear to be an Ogg bitstream")));
}

TEST_F(OggReading, TruncatedOggKeepsWhatDecodedAndEnds)
{
    const QString file = stereoFile();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const QByteArray all = f.readAll();
    f.resize(all.size() / 2);
    f.close();
    AudioBuffer* raw = nullptr;
    EXPECT_EQ(AudioFormats::read(&raw, file, AudioFormats::TypeByName, 0, 0), 0);
    std::unique_ptr<AudioBuffer> b(raw);
    ASSERT_TRUE(b);
    EXPECT_GT(b->getSampleCount(), 44100);
    EXPECT_LT(b->getSampleCount(), 5 * 44100 * 2);
}

TEST_F(OggReading, OtherSuffixIsUnsupported)
{
    ASSERT_TRUE(writeWav(path("a.wav"), sine(100, 2, 440, 1000), 2, 44100));
    AudioBuffer* raw = nullptr;
    EXPECT_EQ(AudioFormats::read(&raw, path("a.wav"), AudioFormats::TypeByName, 0, 0), 4);
    EXPECT_EQ(raw, nullptr);
    EXPECT_TRUE(LogCapture::instance().contains(path("a.wav") + QStringLiteral(" is unsupported")));
    // An explicit Ogg type reads whatever the name.
    const QString ogg = stereoFile();
    ASSERT_TRUE(QFile::copy(ogg, path("tone.bin")));
    EXPECT_EQ(AudioFormats::read(&raw, path("tone.bin"), AudioFormats::TypeOgg, 0, 0), 0);
    delete raw;
    EXPECT_EQ(AudioFormats::read(&raw, ogg, AudioFormats::Type(7), 0, 0), 4);
}

class WavWriting : public ::testing::Test {
protected:
    QByteArray bytes(const QString& p)
    {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static quint32 u32(const QByteArray& b, int at)
    {
        quint32 v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | quint8(b[at + i]);
        return v;
    }
    static int u16(const QByteArray& b, int at) { return quint8(b[at]) | (quint8(b[at + 1]) << 8); }
    QTemporaryDir m_dir;
};

TEST_F(WavWriting, AllZeroDescriptorWritesMonoHeaderAndPatchesSizes)
{
    const QString p = m_dir.filePath("one.wav");
    WavWriter w;
    ASSERT_EQ(w.open(p, WavDesc()), 0);
    EXPECT_EQ(u32(bytes(p), 4), 0u);  // sizes stay 0 until close
    for (short i = 0; i < 1000; ++i)
        w.addData16(&i, 1);
    w.close();
    w.close();  // closing twice does nothing
    const QByteArray b = bytes(p);
    ASSERT_EQ(b.size(), 2044);
    EXPECT_EQ(b.left(4), QByteArray("RIFF"));
    EXPECT_EQ(u32(b, 4), 2036u);
    EXPECT_EQ(b.mid(8, 8), QByteArray("WAVEfmt "));
    EXPECT_EQ(u32(b, 16), 16u);
    EXPECT_EQ(u16(b, 20), 1);
    EXPECT_EQ(u16(b, 22), 1);
    EXPECT_EQ(u32(b, 24), 44100u);
    EXPECT_EQ(u32(b, 28), 88200u);
    EXPECT_EQ(u16(b, 32), 2);
    EXPECT_EQ(u16(b, 34), 16);
    EXPECT_EQ(b.mid(36, 4), QByteArray("data"));
    EXPECT_EQ(u32(b, 40), 2000u);
    EXPECT_EQ(u16(b, 44 + 2 * 999), 999);
}

TEST_F(WavWriting, RejectedDescriptorsCreateNoFile)
{
    WavWriter w;
    WavDesc d;
    d.channels = 3;
    EXPECT_EQ(w.open(m_dir.filePath("c.wav"), d), 1);
    d = WavDesc();
    d.sampleRate = 48000;
    EXPECT_EQ(w.open(m_dir.filePath("c.wav"), d), 1);
    d = WavDesc();
    d.bitsPerSample = 8;
    EXPECT_EQ(w.open(m_dir.filePath("c.wav"), d), 2);
    d = WavDesc();
    d.formatTag = 3;
    d.channels = 5;  // the format is checked first
    EXPECT_EQ(w.open(m_dir.filePath("c.wav"), d), 2);
    EXPECT_FALSE(QFile::exists(m_dir.filePath("c.wav")));
    EXPECT_EQ(w.open(m_dir.filePath("no/such/dir.wav"), WavDesc()), 3);
}

TEST_F(WavWriting, ConversionsInterleaveShiftAndClamp)
{
    const QString p = m_dir.filePath("st.wav");
    WavWriter w;
    WavDesc d;
    d.channels = 2;
    d.sampleRate = 22050;
    ASSERT_EQ(w.open(p, d), 0);
    const short l[] = {1, 2};
    const short r[] = {-1, -2};
    w.addData16lr(l, r, 2);
    const int li[] = {1 << 20, -(1 << 20)};
    const int ri[] = {256, -256};
    w.addData32lr(li, ri, 2, 4);  // 65536 -> 32767, -65536 -> -32768, 16, -16
    const short s[] = {-32768, 100};
    w.addData32(s, 2, 1);
    w.close();
    const QByteArray b = bytes(p);
    ASSERT_EQ(b.size(), 44 + 10 * 2);
    EXPECT_EQ(u16(b, 22), 2);
    EXPECT_EQ(u32(b, 24), 22050u);
    EXPECT_EQ(u32(b, 28), 22050u * 4);
    EXPECT_EQ(u16(b, 32), 4);
    QVector<short> got(10);
    memcpy(got.data(), b.constData() + 44, 20);
    EXPECT_EQ(got, (QVector<short>{1, -1, 2, -2, 32767, 16, -32768, -16, -16384, 50}));
}

}  // namespace
