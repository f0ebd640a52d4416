#include "score/RuvexGuidoGetNotes.h"

#include "notation/GmnEvent.h"
#include "score/RuvexGuidoScoreBrowser.h"

int RuvexGuidoGetNotes(const QList<GmnEvent>& events, QList<ScoreNoteInfo>& notes)
{
    RuvexGuidoScoreBrowser browser(&notes);
    for (int i = 0; i < events.size(); ++i) {
        const GmnEvent& e = events.at(i);
        if (e.kind == GmnEvent::Empty)
            continue;
        if (e.kind == GmnEvent::Rest) {
            browser.rest();
            continue;
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
    return 0;
}
