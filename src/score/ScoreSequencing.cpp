#include "score/Score.h"

#include "audio/AudioBuffer.h"
#include "audio/formats/AudioFormats.h"
#include "debug/Debugging.h"
#include "score/ScoreMarkerListener.h"
#include "notation/NotationEngine.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QSet>

static const char* const kChannel = "score";

bool Score::m_initialized = false;
QMap<QString, AudioBuffer*> Score::m_rhythmSyllables;
QMap<QString, AudioBuffer*> Score::m_solfegeSyllables;

namespace {

// Defined after the banks, so it runs before they are destroyed.
struct SyllableBanksAtExit {
    ~SyllableBanksAtExit() { Score::cleanup(); }
} g_syllableBanksAtExit;

}  // namespace

void Score::cleanup()
{
    qDeleteAll(m_rhythmSyllables);
    m_rhythmSyllables.clear();
    qDeleteAll(m_solfegeSyllables);
    m_solfegeSyllables.clear();
    m_initialized = false;
}

void Score::loadSyllables(const QString& soundsDir, const char* prefix, const char* message,
                          const QStringList& keys, QMap<QString, AudioBuffer*>& bank)
{
    for (const QString& key : keys) {
        const QString filePath = soundsDir + "/" + prefix + key + ".ogg";
        LOG_DEBUG(kChannel, message, qPrintable(filePath));
        BRISOLA_ASSERT(QFile(filePath).exists());
        AudioBuffer* buffer = nullptr;
        const int rc = AudioFormats::read(&buffer, filePath, AudioFormats::TypeByName, 0.0, 0.0);
        BRISOLA_ASSERT(rc == AudioFormats::StatusSuccess);
        if (rc != AudioFormats::StatusSuccess || !buffer)
            continue;
        bank.insert(key, buffer);
    }
}

void Score::initialize(const QString& assetsDir, bool loadFont)
{
    const QString assets = assetsDir.isEmpty() ? QStringLiteral(BRISOLA_SCORE_ASSETS_DIR) : assetsDir;
    const QString fontsDir = assets + QDir::separator() + "fonts";
    const QString soundsDir = assets + QDir::separator() + "sounds";
    if (m_initialized)
        return;

    if (loadFont) {
        QString fontFilePath = fontsDir + QDir::separator() + "guido2.ttf";
        LOG_DEBUG(kChannel, "font path: %s", qPrintable(fontsDir));
        if (!QFile(fontFilePath).exists()) {
            LOG_WARN(kChannel, "%s does not exist; attempting to load from current directory.",
                     qPrintable(fontFilePath));
            fontFilePath = QStringLiteral("guido2.ttf");
        }
        BRISOLA_ASSERT_MSG(QFile(fontFilePath).exists(), "could not find score font.");
        const int rc = QFontDatabase::addApplicationFont(fontFilePath);
        BRISOLA_ASSERT_MSG(rc != -1, "could not load score font.");
    }

    NotationEngine::instance().start();

    loadSyllables(soundsDir, "counting-", "loading counting syllable: %s",
                  {"1", "2", "3", "4", "5", "6", "7", "8", "e", "&", "a", "trip", "let"}, m_rhythmSyllables);
    loadSyllables(soundsDir, "solfege-", "loading solfege syllable: %s",
                  {"Do", "Re", "Mi", "Fa", "Sol", "La", "Ti", "Do2"}, m_solfegeSyllables);
    m_initialized = true;
}

void Score::addSyllable(AudioSequencer& sequencer, const QMap<QString, AudioBuffer*>& bank, const QString& syllable,
                        double position)
{
    AudioBuffer* buffer = bank.value(syllable, nullptr);
    if (!buffer) {
        // chromatic solfege, counts past eight: valid music the banks have no voice for
        static QSet<QString> warned;
        if (!warned.contains(syllable)) {
            warned.insert(syllable);
            LOG_WARN(kChannel, "[%lu] no sound for syllable \"%s\"; it is not spoken", m_instance,
                     qPrintable(syllable));
        }
        return;
    }
    sequencer.addOutput(buffer, position, true, false);
}

void Score::sequenceSyllables(AudioSequencer& sequencer, double t)
{
    if (m_playbackRhythmSyllables && m_countingSyllables.size() == m_noteList.size()) {
        LOG_TRACE(kChannel, "[%lu] sequencing counting overlay", m_instance);
        for (int i = 0; i < m_noteList.size(); ++i) {
            const QString& syllable = m_countingSyllables.at(i);
            if (m_noteList.at(i).note == 12 || syllable.isEmpty() || syllable.contains('?'))
                continue;
            addSyllable(sequencer, m_rhythmSyllables, syllable, t + m_noteList.at(i).start());
        }
    }
    if (m_playbackSolfegeSyllables && m_solfegeSyllableList.size() == m_noteList.size()) {
        LOG_TRACE(kChannel, "[%lu] sequencing solfege overlay", m_instance);
        for (int i = 0; i < m_noteList.size(); ++i) {
            const NoteInfo& note = m_noteList.at(i);
            if (note.note == 12)
                continue;
            const QString syllable =
                note.note == 0 && note.octave == 2 ? QStringLiteral("Do2") : m_solfegeSyllableList.at(i);
            if (syllable.isEmpty() || syllable.contains('?'))
                continue;
            addSyllable(sequencer, m_solfegeSyllables, syllable, t + note.start());
        }
    }
}

void Score::sequence(AudioSequencer& sequencer, double start)
{
    LOG_TRACE(kChannel, "[%lu] %s entered...", m_instance, "sequence");
    if (m_noteList.isEmpty()) {
        LOG_TRACE(kChannel, "[%lu] score is empty; bailing out", m_instance);
        return;
    }
    double t = start;
    auto beatSeconds = [this](const BeatInfo& b) { return (60.0 / m_tempo) * (b.length * 4); };

    if (m_metronomeCountIn || m_metronomeScore) {
        BRISOLA_ASSERT(!m_measuresList.isEmpty());
        // without measures there are no beats to lay; the score still plays
        if (!m_measuresList.isEmpty()) {
            LOG_TRACE(kChannel, "[%lu] sequencing metronome count-in", m_instance);
            if (m_metronomeCountIn) {
                const QList<BeatInfo>& beats = m_measuresList.first().beatList;
                for (int i = 0; i < beats.size(); ++i) {
                    m_metronome.sequenceBeat(sequencer, i, t);
                    t += beatSeconds(beats.at(i));
                }
            }
            LOG_TRACE(kChannel, "[%lu] sequencing metronome overlay", m_instance);
            if (m_metronomeScore) {
                double u = t;
                for (const MeasureInfo& measure : m_measuresList) {
                    for (int j = 0; j < measure.beatList.size(); ++j) {
                        m_metronome.sequenceBeat(sequencer, j, u);
                        u += beatSeconds(measure.beatList.at(j));
                    }
                }
            }
        }
    }

    if (!m_playbackEnabled) {
        sequencer.addSilence(m_duration, t, true);
        return;
    }

    QString why;
    if (AudioBuffer* rendered = renderScore(&why)) {
        sequencer.addOutput(rendered, t, true, true);
        sequenceSyllables(sequencer, t);
    } else {
        sequencer.setMissingSound(why);
    }

    for (int i = 0; i < m_noteList.size(); ++i)
        sequencer.addMarker(mp_markerListener, i, t + m_noteList.at(i).start(), true);
    sequencer.addMarker(mp_markerListener, -1, t + m_duration, true);
    m_playbackOffset = t;
}
