// Times the sequencer's callback per 128-frame block (1, 8 and 32 overlapping output regions, with an
// input region and markers running), prepare() of a 60 s timeline of 200 regions, and MIDI rendering
// through the SoundFont (seconds of audio per CPU second). Prints medians.

#include "audio/AudioBuffer.h"
#include "audio/AudioSequencer.h"
#include "audio/AudioSequencerInputListener.h"
#include "audio/midi/MidiSynth.h"
#include "debug/Debugging.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

namespace {

const int kRate = 44100;
const int kBlock = 128;
const int kRuns = 7;

class SumListener : public AudioSequencerInputListener {
public:
    void newSample(double, short sample) override { sum += sample; }
    long long sum = 0;
};

AudioBuffer* tone(double seconds, double hz, std::mt19937& rng)
{
    auto* b = new AudioBuffer(2, 0, kRate);
    const int frames = int(seconds * kRate);
    QVector<short> s(frames * 2);
    std::uniform_int_distribution<int> noise(-200, 200);
    for (int f = 0; f < frames; ++f)
        s[2 * f] = s[2 * f + 1] = short(3000 * std::sin(2 * M_PI * hz * f / kRate) + noise(rng));
    b->addSamples(s.constData(), s.size(), 0.0, 1.0);
    return b;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double cpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// ns per 128-frame block over a 20 s timeline.
double callbackCost(int overlapping)
{
    std::mt19937 rng(overlapping);
    std::vector<double> runs;
    for (int run = 0; run < kRuns; ++run) {
        AudioSequencer seq(kRate, 2);
        for (int i = 0; i < overlapping; ++i)
            seq.addOutput(tone(20.0 - i * 0.01, 220.0 + 30 * i, rng), i * 0.01, true, true);
        SumListener listener;
        seq.addInput(&listener, 19.0, 0.5, true);
        for (int m = 0; m < 200; ++m)
            seq.addMarker(nullptr, m, m * 0.1, true);
        seq.prepare();
        const AudioSequencer::StreamTiming timing{double(kRate), 0.01, 0.02, 0.0};
        std::vector<short> in(kBlock, 100), out(kBlock);
        for (int i = 0; i < AudioSequencer::kWarmUpInvocations; ++i)
            seq.processBlock(in.data(), out.data(), kBlock, timing);
        const int blocks = int(19.0 * kRate / kBlock);
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < blocks; ++i)
            seq.processBlock(in.data(), out.data(), kBlock, timing);
        const auto t1 = std::chrono::steady_clock::now();
        runs.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count() / blocks);
        seq.dispatchCallbackEvents();
    }
    return median(runs);
}

// ms for prepare() of 200 regions (0.2 to 2 s, many overlapping) spread over 60 s.
double prepareCost(int* regionsAfter)
{
    std::vector<double> runs;
    for (int run = 0; run < kRuns; ++run) {
        std::mt19937 rng(42 + run);
        std::uniform_real_distribution<double> position(0.0, 58.0), length(0.2, 2.0), pitch(200.0, 900.0);
        AudioSequencer seq(kRate, 2);
        for (int i = 0; i < 200; ++i)
            seq.addOutput(tone(length(rng), pitch(rng), rng), position(rng), true, true);
        const auto t0 = std::chrono::steady_clock::now();
        seq.prepare();
        const auto t1 = std::chrono::steady_clock::now();
        runs.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        *regionsAfter = seq.outputRegions().size();
    }
    return median(runs);
}

QByteArray midiMelody(int notes)
{
    QByteArray track = QByteArray::fromHex("00ff510307a120" "00c000");
    for (int i = 0; i < notes; ++i) {
        const int note = 48 + (i * 7) % 36;
        track.append(char(0x00)).append(char(0x90)).append(char(note)).append(char(90));
        track.append(char(0x83)).append(char(0x60));  // 480 ticks
        track.append(char(0x80)).append(char(note)).append(char(0));
    }
    track.append(QByteArray::fromHex("00ff2f00"));
    QByteArray file("MThd");
    file.append(QByteArray::fromHex("000000060000000101e0"));
    file.append("MTrk");
    const quint32 len = quint32(track.size());
    file.append(char(len >> 24)).append(char(len >> 16)).append(char(len >> 8)).append(char(len));
    return file + track;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Debugging::setLoggingLevel(QsLogging::WarnLevel);

    const double blockNs = 1e9 * kBlock / kRate;
    std::printf("callback, %d-frame block (%.0f ns of audio), input region and markers running:\n", kBlock, blockNs);
    for (int overlapping : {1, 8, 32}) {
        const double ns = callbackCost(overlapping);
        std::printf("  %2d overlapping regions: %7.0f ns per block, %5.2f ns per frame, %.3f %% of the block\n",
                    overlapping, ns, ns / kBlock, 100.0 * ns / blockNs);
    }

    int regionsAfter = 0;
    const double ms = prepareCost(&regionsAfter);
    std::printf("prepare, 60 s timeline of 200 regions: %.2f ms (%d regions after mixing)\n", ms, regionsAfter);

    const QString soundFont = QStringLiteral(BRISOLA_BINARY_DIR "/Resources/VessaGM6mb.sf2");
    if (MidiSynth::instance()->initialize(soundFont) != 0) {
        std::printf("MIDI render: SoundFont %s not loaded\n", qPrintable(soundFont));
        return 1;
    }
    QTemporaryDir dir;
    QFile midi(dir.filePath("melody.mid"));
    if (!midi.open(QIODevice::WriteOnly))
        return 1;
    midi.write(midiMelody(120));
    midi.close();
    std::vector<double> speeds;
    double audioSeconds = 0;
    for (int run = 0; run < 5; ++run) {
        AudioBuffer buffer(2, 0, kRate);
        const double c0 = cpuSeconds();
        if (MidiSynth::instance()->renderToAudioBuffer(midi.fileName(), buffer) != 0)
            return 1;
        const double cpu = cpuSeconds() - c0;
        audioSeconds = buffer.duration();
        speeds.push_back(audioSeconds / cpu);
    }
    std::printf("MIDI render, 120 notes (%.1f s of audio): %.0f s of audio per CPU second\n", audioSeconds,
                median(speeds));
    return 0;
}
