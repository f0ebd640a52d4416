#include "score/Score.h"

#include "debug/Debugging.h"
#include "pitch/Pitch.h"
#include "score/ScoreMarkerListener.h"

#include <atomic>

static const char* const kChannel = "score";

namespace {
std::atomic<unsigned long> g_scoreCount{0};
}

Score::Score(QQuickItem* parent)
    : QGuidoQuickPaintedItem(parent)
    , m_instance(++g_scoreCount)
    , m_sequencer(44100, 2)
    , mp_markerListener(new ScoreMarkerListener(this))
{
    connect(&m_sequencer, &AudioSequencer::finished, this, &Score::onPlaybackFinished);
    LOG_TRACE(kChannel, "[%lu] created", m_instance);
    setAntialiasing(true);
    setScalingFactor(2.0);
    setTempo(100);
}

Score::~Score()
{
    // The end of playback is not announced from here: a listener may already be gone (a local
    // declared after the score), and a half-destroyed score has nothing left to clean up.
    disconnect(&m_sequencer, nullptr, this, nullptr);
    // no marker may reach this score once it is going
    if (m_sequencer.isPlaying())
        m_sequencer.stop(false);
    m_sequencer.reset();
    delete mp_markerListener;
    LOG_TRACE(kChannel, "[%lu] destroyed score object", m_instance);
}

bool Score::isLaidOut() const
{
    return !gmnCode().isEmpty() && isGMNValid();
}

int Score::beatsPerMeasure() const
{
    return m_measuresList.isEmpty() ? 0 : m_measuresList.first().beatList.size();
}

QColor Score::color() const
{
    return scoreColor();
}

void Score::setColor(const QColor& color)
{
    setScoreColor(color);
}

void Score::setTempo(int bpm)
{
    LOG_TRACE(kChannel, "[%lu] %s(bpm=%d)", m_instance, "setTempo", bpm);
    // note times divide by the tempo
    if (bpm < 1) {
        LOG_WARN(kChannel, "[%lu] ignoring tempo %d; it must be at least 1", m_instance, bpm);
        return;
    }
    m_tempo = bpm;
    emit tempoChanged();
    if (isLaidOut()) {
        acquireNoteInfoList();
        calculateDuration();
    }
}

void Score::setMetronomeMode(Metronome::Mode mode)
{
    LOG_TRACE(kChannel, "[%lu] %s(mode=%d)", m_instance, "setMetronomeMode", int(mode));
    m_metronome.setMode(mode);
    emit metronomeChanged();
}

void Score::setMetronomeCountIn(bool yes)
{
    LOG_TRACE(kChannel, "[%lu] %s(yes=%d)", m_instance, "setMetronomeCountIn", int(yes));
    if (m_metronomeCountIn == yes)
        return;
    m_metronomeCountIn = yes;
    emit metronomeChanged();
}

void Score::setMetronomeScore(bool yes)
{
    LOG_TRACE(kChannel, "[%lu] %s(yes=%d)", m_instance, "setMetronomeScore", int(yes));
    if (m_metronomeScore == yes)
        return;
    m_metronomeScore = yes;
    emit metronomeChanged();
}

void Score::setPlaybackEnabled(bool yes)
{
    if (m_playbackEnabled == yes)
        return;
    m_playbackEnabled = yes;
    emit playbackEnabledChanged();
}

void Score::setPlaybackPercussive(bool yes)
{
    if (m_playbackPercussive == yes)
        return;
    m_playbackPercussive = yes;
    emit playbackPercussiveChanged();
}

void Score::setPlaybackRhythmSyllables(bool yes)
{
    m_playbackRhythmSyllables = yes;
    emit playbackRhythmSyllablesChanged();
}

void Score::setPlaybackSolfegeSyllables(bool yes)
{
    m_playbackSolfegeSyllables = yes;
    emit playbackSolfegeSyllablesChanged();
}

void Score::setAutoRemoveMidi(bool yes)
{
    m_autoRemoveMidi = yes;
    emit autoRemoveMidiChanged();
}

QString Score::noteAtIndex(int idx) const
{
    if (idx < 0 || idx >= m_noteList.size())
        return QStringLiteral("?");
    const NoteInfo& info = m_noteList.at(idx);
    if (info.note == Pitch::NONE)
        return QStringLiteral("S");
    return QString::fromLatin1(Pitch::noteToStr(Pitch::Note(info.note))) + QString::number(info.octave);
}

QVariant Score::noteBoundingRectAtIdx(int idx) const
{
    if (idx < 0 || idx >= m_noteBoundingRects.size())
        return QVariant();
    return m_noteBoundingRects.at(idx);
}

QString Score::countingSyllableAtIndex(int idx) const
{
    if (idx < 0 || idx >= m_countingSyllables.size())
        return QStringLiteral("?");
    return m_countingSyllables.at(idx);
}

QString Score::solfegeSyllableAtIndex(int idx) const
{
    if (idx < 0 || idx >= m_solfegeSyllableList.size())
        return QStringLiteral("?");
    return m_solfegeSyllableList.at(idx);
}
