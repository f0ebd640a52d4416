#include "BenchVoiceTakes.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <memory>

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

std::vector<BenchVoiceTakes::Note> notesFrom(const QJsonArray& array)
{
    std::vector<BenchVoiceTakes::Note> notes;
    for (const QJsonValue& value : array) {
        const QJsonArray note = value.toArray();
        notes.push_back({note.at(0).toInt(), note.at(1).toDouble(), note.at(2).toDouble()});
    }
    return notes;
}
} // namespace

bool BenchVoiceTakes::generate(const QString& script, const std::vector<Run>& runs, int count, bool notesOnly)
{
    // A folder is done once its marker is written, so an interrupted run is made again.
    const QString marker = ".made";
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const Run& run : runs) {
        if (QFile::exists(QDir(run.dir).filePath(marker)))
            continue;
        QStringList arguments = {script, run.dir, QString::number(count), QString::number(run.seed)};
        if (notesOnly)
            arguments.insert(1, "--notes-only");
        processes.emplace_back(new QProcess);
        processes.back()->setObjectName(run.dir);
        processes.back()->start("python3", arguments);
    }
    bool ok = true;
    for (const std::unique_ptr<QProcess>& process : processes) {
        const QString dir = process->objectName();
        if (!process->waitForFinished(3600000) || process->exitCode() != 0) {
            fprintf(stderr, "%s failed for %s: %s\n", qPrintable(script), qPrintable(dir),
                    process->readAllStandardError().constData());
            ok = false;
            continue;
        }
        QFile done(QDir(dir).filePath(marker));
        ok = done.open(QIODevice::WriteOnly) && ok;
    }
    return ok;
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
        take.vowel = object.value("vowel").toString("oo");
        take.vibratoCents = object.value("vibrato_cents").toInt();
        take.notes = notesFrom(object.value("notes").toArray());
        take.sung = object.contains("sung") ? notesFrom(object.value("sung").toArray()) : take.notes;
        take.deviation = object.value("case").toString();
        take.at = object.value("p").toInt(-1);
        take.tempo = object.value("tempo").toInt();
        for (const QJsonValue& value : object.value("eighths").toArray())
            take.eighths.push_back(value.toInt());
        const QString wav = QDir(dir).filePath(take.name + ".wav");
        if (QFile::exists(wav))
            take.pcm = readWav16(wav);
        bool fits = take.tempo > 0 && !take.notes.empty() && !take.sung.empty() && take.eighths.size() == take.notes.size();
        for (int e : take.eighths)
            fits = fits && e >= 1 && e <= 4;
        if (!fits || (QFile::exists(wav) && take.pcm.empty())) {
            fprintf(stderr, "%s/%s: unreadable, or no melody that fits a score; left out\n", qPrintable(dir), qPrintable(take.name));
            continue;
        }
        takes.push_back(std::move(take));
    }
    return takes;
}
