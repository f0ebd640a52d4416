#include "notation/NotationEventMatcher.h"

#include <QVector>

#include <algorithm>
#include <cmath>

namespace {

// A run of events or entries that sound at one onset: a chord, or grace notes with their note.
struct Unit {
    int first = 0;
    int count = 0;
    NotationDate start;
};

bool isGrace(const GmnEvent& e)
{
    return e.rangeTags.contains(QLatin1String("grace"));
}

QList<Unit> eventUnits(const QList<GmnEvent>& events, const QList<int>& placed)
{
    QList<Unit> units;
    for (int i = 0; i < placed.size();) {
        int j = i + 1;
        while (j < placed.size()
               && (isGrace(events[placed[j - 1]]) || events[placed[j]].start == events[placed[j - 1]].start))
            ++j;
        units.append({i, j - i, events[placed[i]].start});
        i = j;
    }
    return units;
}

QList<Unit> entryUnits(const NotationMap& map)
{
    QList<Unit> units;
    for (int i = 0; i < map.size();) {
        int j = i + 1;
        while (j < map.size() && map[j].time.start == map[i].time.start)
            ++j;
        units.append({i, j - i, map[i].time.start});
        i = j;
    }
    return units;
}

// Pairs the events evs with the entries ens of one onset: the lowest note with the lowest head.
// Where the engine left heads out, the heads' distances on the staff say which notes they are.
// Returns the records of the onset: pairs in the order of the events, then entries no event fills.
// A head whose note is known: a single note paired with a single entry.
struct Reference {
    int entry;
    int step;
};

// Onsets further apart than this many staff steps lie on different systems.
const int kSystemSteps = 16;

QList<NotationEventMatcher::Source> pairOnset(const QList<GmnEvent>& events, const QList<int>& evs,
                                          const NotationMap& map, const QList<int>& ens,
                                          const QList<Reference>& refs, int* unplaced)
{
    const int k = evs.size();
    const int m = ens.size();
    QList<NotationEventMatcher::Source> pairs;
    bool hasRest = false;
    for (int e : evs)
        hasRest = hasRest || events[e].kind != GmnEvent::Note;

    if (hasRest || k == 1) {
        for (int i = 0; i < qMin(k, m); ++i)
            pairs.append({ens[i], evs[i]});
    } else {
        QList<int> evOrder = evs;
        std::stable_sort(evOrder.begin(), evOrder.end(), [&](int a, int b) {
            return NotationEventMatcher::staffStep(events[a]) < NotationEventMatcher::staffStep(events[b]);
        });
        QList<int> enOrder = ens;
        std::stable_sort(enOrder.begin(), enOrder.end(),
                         [&](int a, int b) { return map[a].rect.center().y() > map[b].rect.center().y(); });
        if (k == m) {
            for (int i = 0; i < k; ++i)
                pairs.append({enOrder[i], evOrder[i]});
        } else {
            // a staff step is half a head's height
            double halfStep = 0.0;
            for (int e : ens)
                halfStep = qMax(halfStep, map[e].rect.height() / 2.0);
            QVector<bool> evUsed(k, false);
            QVector<bool> enUsed(m, false);
            auto pairStep = [&](int j, int step) {
                for (int i = 0; i < k; ++i) {
                    if (!evUsed[i] && NotationEventMatcher::staffStep(events[evOrder[i]]) == step) {
                        evUsed[i] = enUsed[j] = true;
                        pairs.append({enOrder[j], evOrder[i]});
                        return;
                    }
                }
            };
            // the nearest known head on the same system says which note each head is
            const Reference* ref = nullptr;
            for (const Reference& r : refs) {
                const double dy = std::fabs(map[r.entry].rect.center().y() - map[ens[0]].rect.center().y());
                if (halfStep > 0.0 && dy <= kSystemSteps * halfStep
                    && (!ref || std::abs(r.entry - ens[0]) < std::abs(ref->entry - ens[0])))
                    ref = &r;
            }
            if (ref) {
                const double refY = map[ref->entry].rect.center().y();
                for (int j = 0; j < m; ++j)
                    pairStep(j, ref->step + int(std::lround((refY - map[enOrder[j]].rect.center().y()) / halfStep)));
            }
            if (pairs.isEmpty() && m > 1 && halfStep > 0.0) {
                // else the heads' distances: the lowest head is one of the notes, the one under which
                // most heads fall on notes
                QVector<int> rel(m, 0);
                const double low = map[enOrder[0]].rect.center().y();
                for (int j = 0; j < m; ++j)
                    rel[j] = int(std::lround((low - map[enOrder[j]].rect.center().y()) / halfStep));
                QVector<int> steps(k);
                for (int i = 0; i < k; ++i)
                    steps[i] = NotationEventMatcher::staffStep(events[evOrder[i]]);
                int bestBase = steps[0];
                int bestCount = -1;
                for (int i = 0; i < k; ++i) {
                    int count = 0;
                    for (int j = 0; j < m; ++j)
                        count += steps.contains(rel[j] + steps[i]) ? 1 : 0;
                    if (count > bestCount) {
                        bestCount = count;
                        bestBase = steps[i];
                    }
                }
                for (int j = 0; j < m; ++j)
                    pairStep(j, rel[j] + bestBase);
            }
            int i = 0;
            for (int j = 0; j < m; ++j) {
                if (enUsed[j])
                    continue;
                while (i < k && evUsed[i])
                    ++i;
                if (i == k)
                    break;
                evUsed[i] = enUsed[j] = true;
                pairs.append({enOrder[j], evOrder[i]});
            }
        }
    }

    std::sort(pairs.begin(), pairs.end(),
              [](const NotationEventMatcher::Source& a, const NotationEventMatcher::Source& b) { return a.event < b.event; });
    *unplaced += k - pairs.size();
    for (int e : ens) {
        const bool taken = std::any_of(pairs.begin(), pairs.end(),
                                       [e](const NotationEventMatcher::Source& s) { return s.entry == e; });
        if (!taken)
            pairs.append({e, -1});
    }
    return pairs;
}

QList<int> slice(const QList<int>& list, const Unit& unit)
{
    return list.mid(unit.first, unit.count);
}

QList<int> range(const Unit& unit)
{
    QList<int> out;
    for (int i = 0; i < unit.count; ++i)
        out.append(unit.first + i);
    return out;
}

} // namespace

int NotationEventMatcher::staffStep(const GmnEvent& event)
{
    static const QString letters = QStringLiteral("cdefgab");
    const int letter = event.name.isEmpty() ? -1 : letters.indexOf(event.name.at(0));
    return 7 * event.octave + qMax(letter, 0);
}

NotationEventMatcher::Result NotationEventMatcher::match(const QList<GmnEvent>& events, const NotationMap& map)
{
    Result result;
    QList<int> placed;
    for (int i = 0; i < events.size(); ++i) {
        if (events[i].kind != GmnEvent::Empty)
            placed.append(i);
    }
    const QList<Unit> evUnits = eventUnits(events, placed);

    // events and entries of one onset, in the map's order; no events for an entry nothing fills
    struct Onset {
        QList<int> evs;
        QList<int> ens;
    };
    QList<Onset> onsets;
    if (placed.size() == map.size()) {
        // One entry per event: paired in order, except that the notes of one onset find their heads.
        for (const Unit& u : evUnits) {
            bool oneOnset = true;
            for (int i = u.first + 1; i < u.first + u.count; ++i)
                oneOnset = oneOnset && map[i].time.start == map[u.first].time.start;
            if (u.count > 1 && oneOnset) {
                onsets.append({slice(placed, u), range(u)});
            } else {
                for (int i = u.first; i < u.first + u.count; ++i)
                    onsets.append({{placed[i]}, {i}});
            }
        }
    } else {
        // The counts differ: align the onsets of both sides (fewest onsets skipped or of another
        // time), so that a note the engine left out or an event beyond page 1 shifts nothing after it.
        const QList<Unit> enUnits = entryUnits(map);
        const int nu = evUnits.size();
        const int nv = enUnits.size();
        QVector<QVector<int>> cost(nu + 1, QVector<int>(nv + 1, 0));
        for (int i = 0; i <= nu; ++i)
            cost[i][0] = i;
        for (int j = 0; j <= nv; ++j)
            cost[0][j] = j;
        for (int i = 1; i <= nu; ++i) {
            for (int j = 1; j <= nv; ++j) {
                const int same = evUnits[i - 1].start == enUnits[j - 1].start ? 0 : 1;
                cost[i][j] = qMin(cost[i - 1][j - 1] + same, qMin(cost[i - 1][j], cost[i][j - 1]) + 1);
            }
        }
        // On a tie an event is left out rather than paired with an onset of another time: the
        // events a map lacks are mostly at its end (page 1) or pieces the engine did not cut.
        QVector<Onset> perOnset(nv);
        int i = nu;
        int j = nv;
        while (i > 0 || j > 0) {
            if (i > 0 && (j == 0 || cost[i][j] == cost[i - 1][j] + 1)) {
                result.unplaced += evUnits[i - 1].count;
                --i;
            } else if (i > 0 && j > 0
                       && cost[i][j]
                              == cost[i - 1][j - 1] + (evUnits[i - 1].start == enUnits[j - 1].start ? 0 : 1)) {
                perOnset[j - 1] = {slice(placed, evUnits[i - 1]), range(enUnits[j - 1])};
                --i;
                --j;
            } else {
                perOnset[j - 1] = {{}, range(enUnits[j - 1])};
                --j;
            }
        }
        for (const Onset& onset : perOnset)
            onsets.append(onset);
    }

    QList<Reference> refs;
    for (const Onset& onset : onsets) {
        if (onset.evs.size() == 1 && onset.ens.size() == 1 && events[onset.evs[0]].kind == GmnEvent::Note)
            refs.append({onset.ens[0], staffStep(events[onset.evs[0]])});
    }
    for (const Onset& onset : onsets) {
        if (onset.evs.isEmpty()) {
            for (int e : onset.ens)
                result.records.append({e, -1});
            result.unfilled += onset.ens.size();
        } else {
            const QList<Source> pairs = pairOnset(events, onset.evs, map, onset.ens, refs, &result.unplaced);
            for (const Source& p : pairs)
                result.unfilled += p.event < 0 ? 1 : 0;
            result.records += pairs;
        }
    }
    return result;
}
