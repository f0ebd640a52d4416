#include "notation/MidiFileWriter.h"

#include "debug/Debugging.h"
#include "notation/GmnReader.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace {
const char* kChannel = "notation";
// The largest time step a variable-length quantity holds (four bytes of seven bits).
const long long kMaxDelta = 0x0fffffff;

struct Sounding {
    int voice;
    int pitch;
    int tieRange;
    NotationDate start;
    NotationDate end;  // written end, for joining tied notes
    float lengthFactor;
    float fermata;
    int velocity;
};

struct MidiEvent {
    long long tick;
    bool on;
    int pitch;
    int velocity;
};

bool hasTag(const GmnEvent& e, std::initializer_list<const char*> names)
{
    for (const char* n : names) {
        if (e.rangeTags.contains(QLatin1String(n)))
            return true;
    }
    return false;
}

long long toTicks(const NotationDate& d, int tpq)
{
    return (long long)std::llround(double(d.num()) * 4.0 * tpq / double(d.denom()));
}

void putVarLen(QByteArray& out, unsigned long value)
{
    unsigned char bytes[5];
    int n = 0;
    bytes[n++] = value & 0x7f;
    while ((value >>= 7) != 0)
        bytes[n++] = 0x80 | (value & 0x7f);
    while (n > 0)
        out.append(char(bytes[--n]));
}

void putBE(QByteArray& out, unsigned long value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xff));
}
}

QByteArray MidiFileWriter::toBytes(const QList<GmnEvent>& events, const MidiExportParameters& params)
{
    const int tpq = std::max(1, params.ticksPerQuarter);
    const int channel = std::clamp(params.channel, 0, 15);

    QList<Sounding> notes;
    for (const GmnEvent& e : events) {
        // A grace note has no time of its own to sound in.
        if (!e.isNote() || e.grace)
            continue;
        const int pitch = e.midiPitch();
        if (pitch < 0 || pitch > 127) {
            LOG_WARN(kChannel, "note %s%d out of the MIDI range; left out", qPrintable(e.writtenName), e.octave);
            continue;
        }
        if (e.tieRange != 0 && !e.tieStart) {
            // Continue the tied note of the same pitch that ends where this one starts.
            auto it = std::find_if(notes.rbegin(), notes.rend(), [&](const Sounding& s) {
                return s.voice == e.voice && s.pitch == pitch && s.tieRange == e.tieRange && s.end == e.start;
            });
            if (it != notes.rend()) {
                it->end = e.end;
                continue;
            }
        }
        Sounding s;
        s.voice = e.voice;
        s.pitch = pitch;
        s.tieRange = e.tieRange;
        s.start = e.start;
        s.end = e.end;
        s.lengthFactor = params.defaultDurationFactor;
        if (hasTag(e, {"stacc", "staccato"}))
            s.lengthFactor = params.staccatoFactor;
        else if (hasTag(e, {"ten", "tenuto"}))
            s.lengthFactor = params.tenutoFactor;
        else if (hasTag(e, {"slur", "sl"}))
            s.lengthFactor = params.slurFactor;
        s.fermata = hasTag(e, {"fermata"}) ? params.fermataFactor : 1.0f;
        double velocity = params.intensity * 127.0;
        if (hasTag(e, {"marcato"}))
            velocity *= params.marcatoFactor;
        else if (hasTag(e, {"accent"}))
            velocity *= params.accentFactor;
        s.velocity = std::clamp(int(std::lround(velocity)), 1, 127);
        notes.append(s);
    }

    QList<MidiEvent> midi;
    for (const Sounding& s : notes) {
        const long long on = toTicks(s.start, tpq);
        const long long written = toTicks(s.end, tpq) - on;
        const long long length = std::max(1LL, (long long)std::llround(written * s.lengthFactor * s.fermata));
        midi.append({on, true, s.pitch, s.velocity});
        midi.append({on + length, false, s.pitch, 0});
    }
    // A note that ends where the next one of the same pitch starts must end first.
    std::stable_sort(midi.begin(), midi.end(), [](const MidiEvent& a, const MidiEvent& b) {
        if (a.tick != b.tick)
            return a.tick < b.tick;
        return !a.on && b.on;
    });

    QByteArray track;
    putVarLen(track, 0);
    track.append("\xff\x51\x03", 3);
    const int tempo = std::max(1, params.tempo);
    putBE(track, (unsigned long)std::lround(60000000.0 / tempo), 3);
    long long last = 0;
    for (const MidiEvent& m : midi) {
        if (m.tick - last > kMaxDelta) {
            LOG_ERROR(kChannel, "a time step of %lld ticks is too long for a MIDI file", m.tick - last);
            return QByteArray();
        }
        putVarLen(track, (unsigned long)(m.tick - last));
        last = m.tick;
        track.append(char((m.on ? 0x90 : 0x80) | channel));
        track.append(char(m.pitch));
        track.append(char(m.on ? m.velocity : 0x40));
    }
    putVarLen(track, 0);
    track.append("\xff\x2f\x00", 3);

    QByteArray file("MThd", 4);
    putBE(file, 6, 4);
    putBE(file, 0, 2);  // format 0
    putBE(file, 1, 2);  // one track
    putBE(file, (unsigned long)tpq, 2);
    file.append("MTrk", 4);
    putBE(file, (unsigned long)track.size(), 4);
    file.append(track);
    return file;
}

bool MidiFileWriter::write(const QString& fileName, const QList<GmnEvent>& events, const MidiExportParameters& params,
                           QString* error)
{
    const QByteArray bytes = toBytes(events, params);
    QFile file(fileName);
    QString why;
    if (bytes.isEmpty()) {
        why = QStringLiteral("the score does not fit a Standard MIDI File");
    } else if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        why = file.errorString();
    } else {
        const qint64 written = file.write(bytes);
        const bool flushed = file.flush();
        if (written != bytes.size() || !flushed || file.error() != QFileDevice::NoError)
            why = file.errorString();
        file.close();
        if (why.isEmpty() && file.error() != QFileDevice::NoError)
            why = file.errorString();
        // Leave no partial file behind (never touch a device such as /dev/full).
        if (!why.isEmpty() && QFileInfo(fileName).isFile())
            file.remove();
    }
    if (!why.isEmpty()) {
        LOG_ERROR(kChannel, "could not write MIDI file %s: %s", qPrintable(fileName), qPrintable(why));
        if (error)
            *error = why;
        return false;
    }
    return true;
}

bool MidiFileWriter::writeCode(const QString& fileName, const QString& gmnCode, const MidiExportParameters& params,
                               QString* error)
{
    const GmnReader::Result voices = GmnReader::readVoices(gmnCode);
    if (!voices.ok) {
        const QString why = QString("unreadable GMN code: %1 (offset %2)").arg(voices.error).arg(voices.errorOffset);
        LOG_ERROR(kChannel, "could not write MIDI file %s: %s", qPrintable(fileName), qPrintable(why));
        if (error)
            *error = why;
        return false;
    }
    return write(fileName, voices.events, params, error);
}
