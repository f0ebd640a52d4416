#include "audio/midi/MidiSynth.h"

#include "audio/AudioBuffer.h"
#include "debug/Debugging.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <fluidsynth.h>

static const char* const kChannel = "midi-synth";

namespace {

const int kScratchValues = 32768;
// The player stays "playing" until every voice has died away, and a voice that never does (a note
// left on, voices stolen from a crowd of notes) would keep a render going until memory runs out.
const double kReleaseTailSeconds = 5.0;

quint32 bigEndian(const QByteArray& bytes, int at, int size)
{
    quint32 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | quint8(bytes.at(at + i));
    return value;
}

// The chunk structure of a Standard MIDI File: FluidSynth plays a damaged file as a moment of
// silence and still reports success. Empty when complete, else what is wrong.
QString midiFileDamage(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot be read");
    const QByteArray bytes = file.readAll();
    const qint64 size = bytes.size();
    if (size < 14 || !bytes.startsWith("MThd"))
        return QStringLiteral("no header");
    const qint64 headerLength = bigEndian(bytes, 4, 4);
    const int tracks = int(bigEndian(bytes, 10, 2));
    if (headerLength < 6 || 8 + headerLength > size || bigEndian(bytes, 12, 2) == 0)
        return QStringLiteral("damaged header");
    if (tracks == 0)
        return QStringLiteral("no track");
    qint64 at = 8 + headerLength;
    int found = 0;
    while (found < tracks) {
        if (at + 8 > size)
            return QStringLiteral("%1 of %2 tracks").arg(found).arg(tracks);
        const qint64 length = bigEndian(bytes, int(at) + 4, 4);
        if (at + 8 + length > size)
            return QStringLiteral("track %1 is cut short").arg(found + 1);
        if (bytes.mid(int(at), 4) == "MTrk")
            ++found;
        at += 8 + length;
    }
    return QString();
}

void discardMessage(int, const char*, void*) {}

QByteArray localName(const QString& path)
{
    return QFile::encodeName(path);
}

// Counts the frames rendered after the file's last tick; past the limit the player is stopped.
bool pastReleaseTail(fluid_player_t* player, int frames, qint64& tailFrames, const QString& midiPath)
{
    if (fluid_player_get_current_tick(player) < fluid_player_get_total_ticks(player))
        return false;
    tailFrames += frames;
    if (tailFrames <= qint64(kReleaseTailSeconds * 44100.0))
        return false;
    LOG_WARN(kChannel, "notes of %s still sound %.0f s after its end; rendering stopped there", qPrintable(midiPath),
             kReleaseTailSeconds);
    fluid_player_stop(player);
    return true;
}

}  // namespace

struct MidiSynthPrivate {
    bool initialized = false;
    fluid_player_t* player = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_settings_t* settings = nullptr;
    QMutex mutex;
};

MidiSynth* MidiSynth::mp_instance = nullptr;

MidiSynth* MidiSynth::instance()
{
    if (!mp_instance)
        mp_instance = new MidiSynth();
    return mp_instance;
}

MidiSynth::MidiSynth() : mp_private(new MidiSynthPrivate) {}

MidiSynth::~MidiSynth() = default;

bool MidiSynth::isInitialized() const
{
    QMutexLocker lock(&mp_private->mutex);
    return mp_private->initialized;
}

int MidiSynth::initialize(const QString& soundFontPath)
{
    QMutexLocker lock(&mp_private->mutex);
    for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level)
        fluid_set_log_function(level, discardMessage, nullptr);
    LOG_INFO(kChannel, "loading soundfont %s", qPrintable(soundFontPath));
    const QByteArray path = localName(soundFontPath);
    if (!fluid_is_soundfont(path.constData())) {
        LOG_WARN(kChannel, "%s is not a soundfont", qPrintable(soundFontPath));
        return 3;
    }
    // A second initialisation replaces the first synthesizer.
    if (mp_private->synth) {
        delete_fluid_synth(mp_private->synth);
        mp_private->synth = nullptr;
        mp_private->initialized = false;
    }
    if (!mp_private->settings) {
        mp_private->settings = new_fluid_settings();
        fluid_settings_setnum(mp_private->settings, "synth.sample-rate", 44100.0);
        fluid_settings_setstr(mp_private->settings, "player.timing-source", "sample");
        fluid_settings_setnum(mp_private->settings, "synth.gain", 1.0);
    }
    mp_private->synth = new_fluid_synth(mp_private->settings);
    if (!mp_private->synth) {
        LOG_WARN(kChannel, "could not create synth");
        return 4;
    }
    if (fluid_synth_sfload(mp_private->synth, path.constData(), 1) == FLUID_FAILED) {
        LOG_WARN(kChannel, "failed to load soundfont %s", qPrintable(soundFontPath));
        return 4;
    }
    mp_private->initialized = true;
    return 0;
}

int MidiSynth::prepare(const QString& midiPath)
{
    if (!mp_private->initialized)
        return 1;
    mp_private->player = new_fluid_player(mp_private->synth);
    if (!mp_private->player) {
        LOG_WARN(kChannel, "unable to create player");
        return 4;
    }
    // The player accepts a missing or foreign file and then renders a moment of silence; check first.
    const QByteArray path = localName(midiPath);
    if (!QFileInfo(midiPath).isFile() || !fluid_is_midifile(path.constData())) {
        LOG_WARN(kChannel, "could not add %s to player", qPrintable(midiPath));
        return 4;
    }
    const QString damage = midiFileDamage(midiPath);
    if (!damage.isEmpty()) {
        LOG_WARN(kChannel, "%s is not a complete MIDI file (%s)", qPrintable(midiPath), qPrintable(damage));
        return 4;
    }
    if (fluid_player_add(mp_private->player, path.constData()) != FLUID_OK) {
        LOG_WARN(kChannel, "could not add %s to player", qPrintable(midiPath));
        return 4;
    }
    if (fluid_player_play(mp_private->player) != FLUID_OK) {
        LOG_WARN(kChannel, "could not play %s", qPrintable(midiPath));
        return 4;
    }
    return 0;
}

int MidiSynth::renderToAudioBuffer(const QString& midiPath, AudioBuffer& buffer)
{
    QMutexLocker lock(&mp_private->mutex);
    short scratch[kScratchValues] = {};
    int result = prepare(midiPath);
    if (result == 0) {
        int period = 64;
        fluid_settings_getint(mp_private->settings, "audio.period-size", &period);
        if (period <= 0 || period > kScratchValues / 2)
            period = 64;
        LOG_DEBUG(kChannel, "beginning rendering (period=%d ; buf_size=%d)", period, period * 4);
        qint64 total = 0;
        qint64 tailFrames = 0;
        while (fluid_player_get_status(mp_private->player) == FLUID_PLAYER_PLAYING) {
            if (pastReleaseTail(mp_private->player, period, tailFrames, midiPath))
                break;
            const int rc = fluid_synth_write_s16(mp_private->synth, period, scratch, 0, 2, scratch, 1, 2);
            buffer.addSamples(scratch, period * 2, 0.0, 1.0);
            total += period * 4;
            if (rc != FLUID_OK) {
                LOG_WARN(kChannel, "fluid_synth_write_s16 failed");
                result = 4;
                break;
            }
        }
        LOG_DEBUG(kChannel, "finished rendering (total=%lld)", static_cast<long long>(total));
    }
    if (mp_private->player) {
        delete_fluid_player(mp_private->player);
        mp_private->player = nullptr;
    }
    return result;
}

int MidiSynth::renderToPcmFile(const QString& midiPath, const QString& outputPath)
{
    QMutexLocker lock(&mp_private->mutex);
    int result = prepare(midiPath);
    if (result == 0) {
        LOG_DEBUG(kChannel, "begin rendering %s to %s", qPrintable(midiPath), qPrintable(outputPath));
        fluid_settings_setstr(mp_private->settings, "audio.file.name", localName(outputPath).constData());
        fluid_file_renderer_t* renderer = new_fluid_file_renderer(mp_private->synth);
        if (!renderer) {
            LOG_WARN(kChannel, "could not create renderer");
            result = 4;
        } else {
            int period = 64;
            fluid_settings_getint(mp_private->settings, "audio.period-size", &period);
            qint64 tailFrames = 0;
            while (fluid_player_get_status(mp_private->player) == FLUID_PLAYER_PLAYING) {
                if (pastReleaseTail(mp_private->player, period, tailFrames, midiPath))
                    break;
                if (fluid_file_renderer_process_block(renderer) != FLUID_OK) {
                    LOG_WARN(kChannel, "could not render block");
                    result = 4;
                    break;
                }
            }
            LOG_DEBUG(kChannel, "finished rendering");
            delete_fluid_file_renderer(renderer);
        }
    }
    if (mp_private->player) {
        delete_fluid_player(mp_private->player);
        mp_private->player = nullptr;
    }
    return result;
}

void MidiSynth::cleanup()
{
    if (mp_private->player) {
        delete_fluid_player(mp_private->player);
        mp_private->player = nullptr;
    }
}
