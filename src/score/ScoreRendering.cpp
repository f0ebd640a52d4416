#include "score/Score.h"

#include "audio/AudioBuffer.h"
#include "audio/midi/MidiSynth.h"
#include "debug/Debugging.h"
#include "notation/MidiFileWriter.h"
#include "notation/NotationPainter.h"

#include <QDir>
#include <QTemporaryFile>

#include <memory>

static const char* const kChannel = "score";

AudioBuffer* Score::renderScore(QString* why)
{
    MidiSynth* synth = MidiSynth::instance();
    auto buffer = std::make_unique<AudioBuffer>(2, 0, 44100);

    QTemporaryFile midiFile(QDir::tempPath() + "/ruvex_zq_score.XXXXXX.midi");
    const bool opened = midiFile.open();
    // one report for one fault: a file that did not open has no name either
    if (!opened)
        Debugging::doAssert("midiFile.open()", __FILE__, __LINE__, nullptr);
    else
        BRISOLA_ASSERT(!midiFile.fileName().isEmpty());
    midiFile.setAutoRemove(m_autoRemoveMidi);
    const QString fileName = midiFile.fileName();
    // the writer opens the file by name; the name stays reserved until midiFile goes
    midiFile.close();
    auto failed = [&](const QString& reason) {
        LOG_ERROR(kChannel, "[%lu] failed to render midi file %s", m_instance, qPrintable(fileName));
        *why = reason;
        return nullptr;
    };
    const QString unwritten = QStringLiteral("its sound could not be written to %1 (%2)");
    if (!opened || fileName.isEmpty())
        return failed(unwritten.arg(QDir::toNativeSeparators(QDir::tempPath()), midiFile.errorString()));

    MidiExportParameters params;
    params.tempo = m_tempo;
    params.ticksPerQuarter = 960;
    params.channel = m_playbackPercussive ? 9 : 0;
    params.intensity = 0.8f;
    params.accentFactor = 1.1f;
    params.marcatoFactor = 1.2f;
    params.defaultDurationFactor = 0.8f;
    params.staccatoFactor = 0.5f;
    params.slurFactor = 1.0f;
    params.tenutoFactor = 0.9f;
    params.fermataFactor = 2.0f;

    // Every voice sounds, not only the first one the note list walks.
    QString code = gmnCode();
    if (m_playbackPercussive) {
        // every percussive note was written a1; d#-1 is the hand clap on the percussion channel
        code.replace(QLatin1String("a1"), QLatin1String("d#-1"), Qt::CaseSensitive);
    }
    QString error;
    const bool exported = MidiFileWriter::writeCode(fileName, code, params, &error);
    if (!exported)
        LOG_ERROR(kChannel, "[%lu] midi export failed: %s", m_instance, qPrintable(error));
    // With a code the engine accepted, a failed export is our reader's (values it cannot time):
    // a failed render, not a fatal error. Only nothing valid to export is.
    if (!isGMNValid()) {
        const int err = exported ? 0 : -1;
        const int guidoNoErr = 0;
        BRISOLA_ASSERT(err == guidoNoErr);
    }
    if (!exported)
        return failed(unwritten.arg(QDir::toNativeSeparators(fileName), error));

    LOG_TRACE(kChannel, "[%lu] wrote midi file %s", m_instance, qPrintable(fileName));
    LOG_TRACE(kChannel, "[%lu] sequencing score", m_instance);
    if (synth->renderToAudioBuffer(fileName, *buffer) != 0)
        return failed(synth->isInitialized() ? QStringLiteral("the synthesizer could not play its MIDI file")
                                             : QStringLiteral("no SoundFont is loaded"));
    return buffer.release();
}
