#include "score/Score.h"

#include "debug/Debugging.h"
#include "notation/NotationPageManager.h"
#include "notation/NotationPainter.h"
#include "score/RuvexGuidoGetNotes.h"
#include "notation/NotationEventMatcher.h"

static const char* const kChannel = "score";

double Score::guidoDateToAudioTime(const NotationDate& date) const
{
    BRISOLA_ASSERT(date.denom() != 0);
    if (date.denom() == 0)
        return 0.0;
    return date.toDouble() / (m_tempo / 240.0);
}

void Score::acquireNoteInfoList()
{
    LOG_TRACE(kChannel, "[%lu] %s entered...", m_instance, "acquireNoteInfoList");
    if (!isLaidOut()) {
        LOG_WARN(kChannel, "[%lu] gmn not valid; bailing out", m_instance);
        return;
    }
    m_noteList.clear();
    m_voiceEvents.clear();

    NotationMap map;
    const QSizeF page = pageManager()->pageSize(1);
    const int rc = painter()->voiceMap(1, page, 1, map);
    if (rc != 0) {
        LOG_ERROR(kChannel, "[%lu] GuidoGetVoiceMap failed (rc=%d gmn=\"%s\")", m_instance, rc,
                  qPrintable(gmnCode()));
        return;
    }
    LOG_TRACE(kChannel, "[%lu] note count: %d", m_instance, int(map.size()));
    if (!map.isEmpty())
        m_voiceEvents = painter()->firstVoiceEvents();
    // the engine lists a chord's notes in an order of its own and leaves some out: pair by onset and staff place
    const NotationEventMatcher::Result matched = NotationEventMatcher::match(m_voiceEvents, map);
    if (matched.unplaced > 0 || matched.unfilled > 0)
        LOG_WARN(kChannel, "[%lu] %d note(s) without a place in the engine's voice map, %d place(s) without a note (gmn=\"%s\")",
                 m_instance, matched.unplaced, matched.unfilled, qPrintable(gmnCode()));
    QList<int> eventOfRecord;
    for (const NotationEventMatcher::Source& source : matched.records) {
        const NotationMapEntry& entry = map.at(source.entry);
        NoteInfo info;
        info.guidoTimeSegment = entry.time;
        info.timeSegment.first = guidoDateToAudioTime(info.guidoTimeSegment.start);
        info.timeSegment.second = guidoDateToAudioTime(info.guidoTimeSegment.end);
        m_noteList << info;
        eventOfRecord << source.event;
    }

    if (!m_noteList.isEmpty()) {
        RuvexGuidoGetNotes(m_voiceEvents, m_noteList, eventOfRecord);
        for (int i = 0; i < m_noteList.size(); ++i) {
            const NoteInfo& n = m_noteList.at(i);
            LOG_TRACE(kChannel,
                      "[%lu]   idx=%-3d note=%-2d octave=%d timeSegment=%.02lf-%.02lf guidoTimeSegment=%lld/%lld-%lld/%lld",
                      m_instance, i, n.note, n.octave, n.start(), n.end(), n.guidoTimeSegment.start.num(),
                      n.guidoTimeSegment.start.denom(), n.guidoTimeSegment.end.num(), n.guidoTimeSegment.end.denom());
        }
    }
    emit noteCountChanged();
}

void Score::calculateDuration()
{
    LOG_TRACE(kChannel, "[%lu] %s entered...", m_instance, "calculateDuration");
    if (!isLaidOut()) {
        LOG_WARN(kChannel, "[%lu] gmn not valid; bailing out", m_instance);
        return;
    }
    const NotationDate date = painter()->duration();
    if (!date.isValid()) {
        LOG_WARN(kChannel, "[%lu] unable to get duration from graphical representation (gmn=\"%s\")", m_instance,
                 qPrintable(gmnCode()));
        return;
    }
    m_duration = guidoDateToAudioTime(date);
    emit durationChanged();
}
