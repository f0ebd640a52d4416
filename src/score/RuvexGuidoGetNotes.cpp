#include "score/RuvexGuidoGetNotes.h"

#include "notation/GmnEvent.h"
#include "score/RuvexGuidoScoreBrowser.h"

namespace {

void walkEvent(RuvexGuidoScoreBrowser& browser, const QList<GmnEvent>& events, int i)
{
    const GmnEvent& e = events.at(i);
    if (e.kind == GmnEvent::Rest) {
        browser.rest();
        return;
    }
    // a written note the engine drew as several pieces is tied to itself
    bool nextIsSplit = false;
    for (int j = i + 1; j < events.size(); ++j) {
        if (events.at(j).kind != GmnEvent::Empty) {
            nextIsSplit = events.at(j).split;
            break;
        }
    }
    const bool inTie = e.tieRange > 0;
    if (inTie || e.split || nextIsSplit)
        browser.tieEvent(inTie ? e.tieStart : (!e.split && nextIsSplit));
    browser.note(e.name, e.accidentals, e.octave);
}

} // namespace

int RuvexGuidoGetNotes(const QList<GmnEvent>& events, QList<ScoreNoteInfo>& notes)
{
    QList<int> eventOfRecord;
    for (int i = 0; i < events.size(); ++i) {
        if (events.at(i).kind != GmnEvent::Empty)
            eventOfRecord.append(i);
    }
    RuvexGuidoScoreBrowser browser(&notes);
    for (int i : eventOfRecord)
        walkEvent(browser, events, i);
    return 0;
}

int RuvexGuidoGetNotes(const QList<GmnEvent>& events, QList<ScoreNoteInfo>& notes, const QList<int>& eventOfRecord)
{
    RuvexGuidoScoreBrowser browser(&notes);
    for (int i : eventOfRecord) {
        if (i < 0 || i >= events.size() || events.at(i).kind == GmnEvent::Empty)
            browser.skip();
        else
            walkEvent(browser, events, i);
    }
    return 0;
}
