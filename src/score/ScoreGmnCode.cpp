#include "score/Score.h"

#include "debug/Debugging.h"
#include "score/ScoreCustomTags.h"
#include "score/ScoreGmnRewriter.h"
#include "notation/NotationPageManager.h"

static const char* const kChannel = "score";

bool Score::setGMNCode(const QString& code)
{
    LOG_DEBUG(kChannel, "[%lu] %s(gmn=\"%s\")", m_instance, "setGMNCode", qPrintable(code));
    const QString copy = ScoreGmnRewriter::rewrite(code);
    if (!ScoreGmnRewriter::isPercussive(code) && ScoreGmnRewriter::hasPercussiveNotes(code))
        LOG_WARN(kChannel, "[%lu] percussive note(s) in non-percussive mode", m_instance);
    if (copy != code)
        LOG_TRACE(kChannel, "[%lu] postProcessedGmn=\"%s\"", m_instance, qPrintable(copy));

    // a refused code stays refused: only an accepted one is known to be current
    if (copy == gmnCode() && isGMNValid())
        return true;

    if (!QGuidoQuickPaintedItem::setGMNCode(copy)) {
        LOG_WARN(kChannel, "[%lu] could not set GMN code \"%s\" (%s)", m_instance, qPrintable(copy),
                 qPrintable(getLastErrorMessage()));
        return false;
    }

    m_basePageSize = pageManager()->pageSize(1);
    handleCustomTags(copy);
    acquireNoteInfoList();
    calculateDuration();
    analyzeMeasures();
    analyzeRhythm();
    analyzeMelody();
    rescale();
    emit gmnCodeChanged();
    return true;
}

void Score::handleCustomTags(const QString& code)
{
    LOG_ENTRY(kChannel);
    const ScoreCustomTags tags = ScoreCustomTags::read(code);

    m_key = tags.hasKey ? tags.key : 0;
    if (tags.hasKey)
        LOG_TRACE(kChannel, "[%lu] key=%d", m_instance, m_key);
    else
        LOG_TRACE(kChannel, "[%lu] key=0 (default)", m_instance);

    if (!tags.scaleType.isEmpty()) {
        if (tags.scaleType == QLatin1String("major"))
            m_scale = Music::Major;
        else if (tags.scaleType == QLatin1String("minor"))
            m_scale = Music::Minor;
        else
            LOG_WARN(kChannel, "[%lu] unknown scale type %s", m_instance, qPrintable(tags.scaleType));
        LOG_TRACE(kChannel, "[%lu] scaleType=\"%s\"", m_instance, qPrintable(tags.scaleType));
    }

    if (tags.hasTempo)
        setTempo(tags.tempo);
    else if (!tags.refusedTempo.isNull())
        LOG_WARN(kChannel, "[%lu] ignoring bpm<%s>; the tempo must be at least 1", m_instance,
                 qPrintable(tags.refusedTempo));

    setPlaybackPercussive(tags.percussive);
    setPlaybackRhythmSyllables(tags.countingOverlay);
    setPlaybackSolfegeSyllables(tags.solfegeOverlay);

    if (tags.hasMetronome) {
        if (tags.metronome == QLatin1String("monotone"))
            setMetronomeMode(Metronome::ModeMonotone);
        else if (tags.metronome == QLatin1String("accented"))
            setMetronomeMode(Metronome::ModeAccented);
        else if (tags.metronome == QLatin1String("talking"))
            setMetronomeMode(Metronome::ModeTalking);
        else
            LOG_WARN(kChannel, "[%lu] unknown metronome mode %s", m_instance, qPrintable(tags.metronome));
        setMetronomeScore(true);
        LOG_TRACE(kChannel, "[%lu] metronome=\"%s\"", m_instance, qPrintable(tags.metronome));
    }

    if (tags.countIn)
        setMetronomeCountIn(true);
}
