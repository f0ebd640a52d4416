#include "ClapTakes.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace {

double fromDb(double db)
{
    return std::pow(10.0, db / 20.0);
}

void scaleToPeak(std::vector<double>& v, double peakDbfs)
{
    double peak = 0.0;
    for (double x : v)
        peak = std::max(peak, std::fabs(x));
    if (peak <= 0.0)
        return;
    const double k = fromDb(peakDbfs) / peak;
    for (double& x : v)
        x *= k;
}

// The samples of a 16-bit mono WAV file, at the file's own rate.
std::vector<double> readWav16(const QString& path, int* rate)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    if (bytes.size() < 44 || !bytes.startsWith("RIFF"))
        return {};
    *rate = qFromLittleEndian<qint32>(reinterpret_cast<const uchar*>(bytes.constData()) + 24);
    int pos = 12;
    while (pos + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(pos, 4);
        const quint32 size = qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(bytes.constData()) + pos + 4);
        if (id == "data") {
            const int n = int(std::min<quint32>(size, quint32(bytes.size() - pos - 8)) / 2);
            std::vector<double> out(size_t(n), 0.0);
            const auto* p = reinterpret_cast<const uchar*>(bytes.constData()) + pos + 8;
            for (int i = 0; i < n; ++i)
                out[size_t(i)] = qFromLittleEndian<qint16>(p + 2 * i) / 32768.0;
            return out;
        }
        pos += 8 + int(size) + int(size & 1);
    }
    return {};
}

}  // namespace

std::vector<double> ClapTakes::clap(std::mt19937& rng, double peakDbfs, double decayMs)
{
    std::normal_distribution<double> white(0.0, 1.0);
    std::uniform_real_distribution<double> colour(0.15, 0.85);
    const double lowShare = colour(rng);
    const size_t n = size_t((6.0 * decayMs + 5.0) * kRate / 1000.0);
    std::vector<double> out(n);
    double lp = 0.0;
    const double tau = decayMs * kRate / 1000.0;
    const size_t attack = size_t(0.0005 * kRate);
    // two hands meet in a few reflections within the first milliseconds
    std::uniform_real_distribution<double> echo(0.8, 3.5);
    const size_t second = size_t(echo(rng) * kRate / 1000.0);
    for (size_t i = 0; i < n; ++i) {
        const double w = white(rng);
        lp = 0.75 * lp + 0.25 * w;
        const double coloured = lowShare * lp * 2.0 + (1.0 - lowShare) * (w - lp);
        double env = i < attack ? double(i) / attack : std::exp(-double(i - attack) / tau);
        if (i >= second)
            env += 0.6 * std::exp(-double(i - second) / (0.6 * tau));
        out[i] = coloured * env;
    }
    scaleToPeak(out, peakDbfs);
    return out;
}

std::vector<double> ClapTakes::deskTap(std::mt19937& rng, double peakDbfs)
{
    std::normal_distribution<double> white(0.0, 1.0);
    std::uniform_real_distribution<double> body(120.0, 260.0);
    const double f1 = body(rng);
    const size_t n = size_t(0.2 * kRate);
    std::vector<double> out(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = i / kRate;
        const double click = i < size_t(0.0008 * kRate) ? 0.7 * white(rng) : 0.0;
        out[i] = click + std::sin(2.0 * M_PI * f1 * t) * std::exp(-t / 0.03)
                 + 0.5 * std::sin(2.0 * M_PI * 900.0 * t) * std::exp(-t / 0.006);
    }
    scaleToPeak(out, peakDbfs);
    return out;
}

std::vector<double> ClapTakes::tongueClick(std::mt19937& rng, double peakDbfs)
{
    std::normal_distribution<double> white(0.0, 1.0);
    std::uniform_real_distribution<double> cavity(1100.0, 2100.0);
    const double f = cavity(rng);
    const size_t n = size_t(0.04 * kRate);
    std::vector<double> out(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = i / kRate;
        out[i] = std::sin(2.0 * M_PI * f * t) * std::exp(-t / 0.003) + 0.3 * white(rng) * std::exp(-t / 0.001);
    }
    scaleToPeak(out, peakDbfs);
    return out;
}

std::vector<double> ClapTakes::spokenTa(const QString& voice, double peakDbfs)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("ta.wav");
    QProcess espeak;
    espeak.start("espeak-ng", {"-v", voice, "-s", "150", "-w", path, "ta"});
    if (!espeak.waitForFinished(20000) || espeak.exitCode() != 0)
        return {};
    int rate = 0;
    const std::vector<double> raw = readWav16(path, &rate);
    if (raw.empty() || rate <= 0)
        return {};
    // to 44.1 kHz by linear interpolation
    const double step = double(rate) / kRate;
    std::vector<double> up(size_t(raw.size() / step));
    for (size_t i = 0; i < up.size(); ++i) {
        const double x = i * step;
        const size_t k = std::min(size_t(x), raw.size() - 2);
        const double frac = x - double(k);
        up[i] = raw[k] * (1.0 - frac) + raw[k + 1] * frac;
    }
    double peak = 0.0;
    for (double v : up)
        peak = std::max(peak, std::fabs(v));
    const auto first = std::find_if(up.begin(), up.end(), [peak](double v) { return std::fabs(v) > 0.05 * peak; });
    // said in time, a syllable is short: 150 ms, the last 40 ms faded out
    std::vector<double> out(first, up.end());
    out.resize(std::min(out.size(), size_t(0.15 * kRate)), 0.0);
    const size_t fade = size_t(0.04 * kRate);
    for (size_t k = 0; k < fade && k < out.size(); ++k)
        out[out.size() - 1 - k] *= double(k) / double(fade);
    scaleToPeak(out, peakDbfs);
    return out;
}

std::vector<double> ClapTakes::playbackLeak(const std::vector<double>& starts, double beat, double seconds,
                                            double peakDbfs)
{
    std::vector<double> out(size_t((kLead + seconds) * kRate), 0.0);
    auto add = [&](double at, auto wave, double length) {
        const size_t a = size_t((kLead + at) * kRate);
        for (size_t k = 0; k < size_t(length * kRate) && a + k < out.size(); ++k)
            out[a + k] += wave(k / kRate);
    };
    for (double s : starts)
        add(s, [](double t) {
            double v = 0.0;
            for (int h = 1; h <= 5; ++h)
                v += std::sin(2.0 * M_PI * 262.0 * h * t) / h;
            return v * std::exp(-t / 0.25) * std::min(1.0, t / 0.004);
        }, 0.8);
    for (double b = 0.0; b < seconds; b += beat)
        add(b, [](double t) { return 1.5 * std::sin(2.0 * M_PI * 1500.0 * t) * std::exp(-t / 0.01); }, 0.06);
    scaleToPeak(out, peakDbfs);
    return out;
}

std::vector<double> ClapTakes::roomNoise(size_t n, double rmsDbfs, std::mt19937& rng)
{
    std::vector<double> out(n, 0.0);
    if (rmsDbfs < -120.0)
        return out;
    std::normal_distribution<double> white(0.0, 1.0);
    double low = 0.0, mid = 0.0, sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double w = white(rng);
        low = 0.985 * low + 0.015 * w;
        mid = 0.8 * mid + 0.2 * w;
        out[i] = 6.0 * low + 0.8 * mid + 0.15 * w;
        sum += out[i] * out[i];
    }
    const double k = fromDb(rmsDbfs) / std::sqrt(sum / double(n));
    for (double& x : out)
        x *= k;
    return out;
}

QString ClapTakes::gmn(const Rhythm& rhythm)
{
    QString code = "[ \\meter<\"4/4\"> ";
    for (double q : rhythm.quarters) {
        if (q == 0.5)
            code += "c1/8 ";
        else if (q == 1.5)
            code += "c1/4. ";
        else if (q == 2.0)
            code += "c1/2 ";
        else
            code += "c1/4 ";
    }
    return code + "]";
}

std::vector<double> ClapTakes::starts(const Rhythm& rhythm, int tempo)
{
    std::vector<double> out;
    double q = 0.0;
    for (double d : rhythm.quarters) {
        out.push_back(q * 60.0 / tempo);
        q += d;
    }
    return out;
}

double ClapTakes::length(const Rhythm& rhythm, int tempo)
{
    double q = 0.0;
    for (double d : rhythm.quarters)
        q += d;
    return q * 60.0 / tempo;
}

std::vector<short> ClapTakes::take(const std::vector<double>& noise, const std::vector<std::vector<double>>& sounds,
                                   const std::vector<double>& starts)
{
    std::vector<double> mix = noise;
    for (size_t i = 0; i < starts.size() && i < sounds.size(); ++i) {
        const size_t a = size_t((kLead + starts[i]) * kRate);
        for (size_t k = 0; k < sounds[i].size() && a + k < mix.size(); ++k)
            mix[a + k] += sounds[i][k];
    }
    std::vector<short> out(mix.size());
    for (size_t i = 0; i < mix.size(); ++i)
        out[i] = short(std::lround(std::clamp(mix[i], -1.0, 32767.0 / 32768.0) * 32768.0));
    return out;
}
