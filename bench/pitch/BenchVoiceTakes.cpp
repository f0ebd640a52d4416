#include "BenchVoiceTakes.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
std::vector<short> readWav16(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    // RIFF chunks: find "data" (the generator writes a plain 44-byte header, but do not rely on it)
    int pos = 12;
    while (pos + 8 <= bytes.size()) {
        quint32 size = 0;
        std::memcpy(&size, bytes.constData() + pos + 4, 4);
        if (bytes.mid(pos, 4) == "data") {
            const int count = static_cast<int>(std::min<qint64>(size, bytes.size() - pos - 8) / 2);
            std::vector<short> pcm(count);
            std::memcpy(pcm.data(), bytes.constData() + pos + 8, count * 2);
            return pcm;
        }
        pos += 8 + static_cast<int>(size);
    }
    return {};
}
} // namespace

bool BenchVoiceTakes::generate(const QString& dir, int count, unsigned seed, double noiseDbfs)
{
    if (QDir(dir).entryList({"*.wav"}, QDir::Files).size() >= count)
        return true;
    QStringList arguments = {QStringLiteral(BENCH_VOICE_SCRIPT), dir, QString::number(count), QString::number(seed)};
    if (noiseDbfs != 0.0)
        arguments << QString::number(noiseDbfs);
    QProcess process;
    process.start("python3", arguments);
    if (!process.waitForFinished(1800000) || process.exitCode() != 0) {
        fprintf(stderr, "sung-melodies.py failed for %s: %s\n", qPrintable(dir), process.readAllStandardError().constData());
        return false;
    }
    return true;
}

bool BenchVoiceTakes::fitTempo(Take& take)
{
    // The generator's tempi; every note starts on an eighth's grid and lasts one to four eighths,
    // less its gap (none, 0.05 or 0.12 s).
    for (int tempo : {70, 90, 100, 120}) {
        const double eighth = 30.0 / tempo;
        std::vector<int> eighths;
        bool fits = true;
        for (size_t i = 0; i < take.notes.size() && fits; ++i) {
            const double span = i + 1 < take.notes.size() ? take.notes[i + 1].start - take.notes[i].start
                                                           : take.notes[i].end - take.notes[i].start;
            const double ratio = span / eighth;
            const int n = i + 1 < take.notes.size() ? static_cast<int>(std::lround(ratio))
                                                    : static_cast<int>(std::ceil(ratio - 0.05));
            fits = n >= 1 && n <= 4 && (i + 1 == take.notes.size() || std::fabs(ratio - n) * eighth < 0.002);
            eighths.push_back(n);
        }
        if (fits) {
            take.tempo = tempo;
            take.eighths = eighths;
            return true;
        }
    }
    return false;
}

std::vector<BenchVoiceTakes::Take> BenchVoiceTakes::load(const QString& dir)
{
    std::vector<Take> takes;
    for (const QString& json : QDir(dir).entryList({"*.json"}, QDir::Files, QDir::Name)) {
        QFile file(QDir(dir).filePath(json));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
        Take take;
        take.name = json.left(json.size() - 5);
        take.vowel = object.value("vowel").toString();
        take.vibratoCents = object.value("vibrato_cents").toInt();
        for (const QJsonValue& value : object.value("notes").toArray()) {
            const QJsonArray note = value.toArray();
            take.notes.push_back({note.at(0).toInt(), note.at(1).toDouble(), note.at(2).toDouble()});
        }
        take.pcm = readWav16(QDir(dir).filePath(take.name + ".wav"));
        if (take.notes.empty() || take.pcm.empty() || !fitTempo(take)) {
            fprintf(stderr, "%s/%s: unreadable or its timing fits no tempo; left out\n", qPrintable(dir), qPrintable(take.name));
            continue;
        }
        takes.push_back(std::move(take));
    }
    return takes;
}

QString BenchVoiceTakes::gmn(const Take& take)
{
    static const char* const names[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};
    static const char* const lengths[5] = {"", "/8", "/4", "/4.", "/2"};
    QStringList tokens;
    for (size_t i = 0; i < take.notes.size(); ++i)
        tokens << QString("%1%2%3").arg(names[take.notes[i].midi % 12]).arg(take.notes[i].midi / 12 - 4).arg(lengths[take.eighths[i]]);
    return QString("[ %1 ]").arg(tokens.join(' '));
}
