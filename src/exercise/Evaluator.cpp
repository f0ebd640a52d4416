#include "exercise/Evaluator.h"

#include "debug/Debugging.h"
#include "notation/GmnClef.h"
#include "notation/GmnReader.h"
#include "score/Score.h"

#include <QMetaEnum>
#include <QMutexLocker>

#include <algorithm>
#include <cmath>

namespace {

const char* const kChannel = "zq-eval";
const char* const kRightPrefix = "\\noteFormat<color=\"green\">";
const char* const kWrongPrefix = "\\noteFormat<color=\"red\">";
const char* const kSuffix = "\\noteFormat<color=\"black\">";

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

int skipDigits(const QString& t, int i)
{
    while (i < t.size() && isDigit(t.at(i)))
        ++i;
    return i;
}

// The extent of a written note starting at from in a token: its head (name, accidentals, octave)
// ends at headEnd, the whole note (with duration and dots) at end.
struct WrittenNote {
    int headEnd = 0;
    int end = 0;
    bool explicitOctave = false;
};

WrittenNote parseWrittenNote(const QString& t, int from)
{
    WrittenNote w;
    int i = from;
    while (i < t.size() && t.at(i).isLetter())
        ++i;
    while (i < t.size() && (t.at(i) == QLatin1Char('#') || t.at(i) == QLatin1Char('&')))
        ++i;
    const int octaveStart = i;
    if (i < t.size() && t.at(i) == QLatin1Char('-') && i + 1 < t.size() && isDigit(t.at(i + 1)))
        ++i;
    i = skipDigits(t, i);
    w.explicitOctave = i > octaveStart;
    w.headEnd = i;
    if (i < t.size() && t.at(i) == QLatin1Char('*'))
        i = skipDigits(t, i + 1);
    if (i + 1 < t.size() && t.at(i) == QLatin1Char('/') && isDigit(t.at(i + 1)))
        i = skipDigits(t, i + 1);
    while (i < t.size() && t.at(i) == QLatin1Char('.'))
        ++i;
    w.end = i;
    return w;
}

} // namespace

QString Evaluator::EvaluationEntry::toString() const
{
    return QString("%1 Rhythm:%2 Pitch:%3")
        .arg(skipped ? QStringLiteral("(skipped)") : QString(), -15)
        .arg(accuracyName(rhythm), -10)
        .arg(accuracyName(pitch), -10);
}

Evaluator::Evaluator(Score& score)
    : QObject(nullptr)
    , mp_score(&score)
{
    static const int registered = qRegisterMetaType<Evaluator::EvaluationEntry>("Evaluator::EvaluationEntry");
    Q_UNUSED(registered);
    LOG_ENTRY(kChannel);
    readScore(score);
}

Evaluator::~Evaluator() = default;

void Evaluator::setScore(Score& score)
{
    LOG_ENTRY(kChannel);
    mp_score = &score;
    readScore(score);
}

void Evaluator::readScore(Score& score)
{
    m_noteInfoList = score.noteList();
    m_firstSounding = nextSounding(-1);
    m_lastSounding = -1;
    for (int i = m_noteInfoList.size() - 1; i >= 0 && m_lastSounding < 0; --i) {
        if (isSounding(i))
            m_lastSounding = i;
    }
    reset();

    // Each expected note is found in the code through the written event it was read from, so rests,
    // tags, brackets and blanks inside tag parameters cannot shift the pairing.
    const QString code = score.gmnCode();
    const QStringList tokens = code.split(QLatin1Char(' '));
    QList<int> tokenStarts;
    int at = 0;
    for (const QString& t : tokens) {
        tokenStarts << at;
        at += t.size() + 1;
    }

    QList<NoteLocation> locations;
    QList<const GmnEvent*> locatedEvents;
    const GmnReader::Result voice = GmnReader::read(code);
    if (!voice.ok && !code.isEmpty())
        LOG_WARN(kChannel, "cannot read the answer's notes (%s); the answer is not coloured", qPrintable(voice.error));
    for (const GmnEvent& e : voice.events) {
        if (!e.isNote() || e.split || e.sourceOffset < 0 || e.sourceOffset >= code.size())
            continue;
        // the token holding the event's first character
        int k = int(std::upper_bound(tokenStarts.begin(), tokenStarts.end(), e.sourceOffset) - tokenStarts.begin()) - 1;
        NoteLocation loc;
        loc.lead = e.sourceOffset - tokenStarts.at(k);
        if (loc.lead >= tokens.at(k).size() || !tokens.at(k).at(loc.lead).isLetter())
            continue;
        loc.token = k;
        loc.octave = e.octave;
        loc.tieRange = e.tieRange;
        loc.tieStart = e.tieStart;
        locations << loc;
        locatedEvents << &e;
    }

    QList<int> noteIndices;
    QList<bool> used;
    for (int j = 0; j < locations.size(); ++j)
        used << false;
    for (const ScoreNoteInfo& n : m_noteInfoList) {
        int found = -1;
        if (n.note != Pitch::NONE) {
            const int midi = Pitch::midiNote(Pitch::Note(n.note), Pitch::gmnToMidiOctave(n.octave));
            for (int j = 0; j < locations.size() && found < 0; ++j) {
                const GmnEvent& e = *locatedEvents.at(j);
                if (!used.at(j) && e.start == n.guidoTimeSegment.start && e.midiPitch() == midi)
                    found = j;
            }
            if (found >= 0) {
                used[found] = true;
                // a colour tag cannot stand between the notes of a chord
                if (locatedEvents.at(found)->chord >= 0)
                    found = -1;
            }
        }
        noteIndices << found;
    }

    QMutexLocker lock(&m_gmnMutex);
    m_gmnTokens = tokens;
    m_gmnSourceTokens = tokens;
    m_noteLocations = locations;
    m_gmnNoteIndices = noteIndices;
    m_writtenClef = GmnClef::isNamed(code) ? QString() : GmnClef::automatic(voice.events);
}

void Evaluator::reset()
{
    LOG_ENTRY(kChannel);
    m_lastIndex = -1;
    m_earlyInputs.store(0, std::memory_order_release);
    m_extraInputs.store(0, std::memory_order_release);
    m_evaluationList.clear();
    for (int i = 0; i < m_noteInfoList.size(); ++i)
        m_evaluationList << EvaluationEntry();
}

void Evaluator::setRhythmThresholds(double perfect, double slight, double severe)
{
    BRISOLA_ASSERT(perfect > 0 && slight > perfect && severe > slight);
    m_rhythmPerfect = perfect;
    m_rhythmSlight = slight;
    m_rhythmSevere = severe;
}

void Evaluator::setPitchThresholds(int perfect, int slight, int severe)
{
    BRISOLA_ASSERT(perfect >= 0 && slight > perfect && severe > slight);
    m_pitchPerfect = perfect;
    m_pitchSlight = slight;
    m_pitchSevere = severe;
}

int Evaluator::nextSounding(int after) const
{
    for (int i = after + 1; i < m_noteInfoList.size(); ++i) {
        if (isSounding(i))
            return i;
    }
    return -1;
}

bool Evaluator::evaluate(Pitch::Note note, int octave, double offset)
{
    LOG_ENTRY(kChannel);
    if (m_firstSounding < 0)
        return false;

    int index;
    if (m_mode == PitchMode) {
        if (note == Pitch::NONE)
            return false;
        index = nextSounding(m_lastIndex);
    } else {
        index = indexByOffset(offset);
        LOG_DEBUG(kChannel, "current offset: %f\tindex: %d\tnote: %s\n", offset, index,
                  Pitch::noteToStr(note >= Pitch::C && note <= Pitch::NONE ? note : Pitch::NONE));
    }
    // Ignored as the grading rules say; counted, so that the learner can be told why.
    const bool counted = index < 0 && note != Pitch::NONE && m_mode != PitchMode;
    if (index == -1) {
        if (counted) {
            const bool early = offset < m_noteInfoList.at(m_firstSounding).start() - m_rhythmSevere;
            (early ? m_earlyInputs : m_extraInputs).fetch_add(1, std::memory_order_acq_rel);
        }
        return false;
    }
    if (index == -2) {
        if (counted)
            m_extraInputs.fetch_add(1, std::memory_order_acq_rel);
        LOG_WARN(kChannel, "Terminating due to overflow.");
        processUnevaluated(0, m_noteInfoList.size());
        return true;
    }
    if (note == Pitch::NONE)
        return false;

    EvaluationEntry& entry = m_evaluationList[index];
    entry.rhythm = m_mode != PitchMode ? getRhythmAccuracy(index, note, offset) : NONE;
    entry.timing = m_mode != PitchMode ? offset - m_noteInfoList.at(index).start() : 0.0;
    entry.pitch = m_mode != RhythmMode ? getPitchAccuracy(index, note, octave, offset) : NONE;
    entry.evaluated = true;
    m_lastIndex = index;
    emitGrade(index);

    if (index == m_lastSounding) {
        LOG_DEBUG(kChannel, "terminating after processing the final note.");
        processUnevaluated(0, m_noteInfoList.size());
        return true;
    }
    return false;
}

int Evaluator::indexByOffset(double offset) const
{
    const double severe = m_rhythmSevere;
    if (offset < m_noteInfoList.at(m_firstSounding).start() - severe)
        return -1;
    if (offset - m_noteInfoList.at(m_lastSounding).start() > 4 * severe)
        return -2;

    int nearest = -1;
    double nearestDistance = 0.0;
    for (int i = m_firstSounding; i >= 0; i = nextSounding(i)) {
        const double d = std::fabs(offset - m_noteInfoList.at(i).start());
        if (d < severe && !m_evaluationList.at(i).evaluated)
            return i;
        if (nearest < 0 || d < nearestDistance) {
            nearest = i;
            nearestDistance = d;
        }
    }
    return m_evaluationList.at(nearest).evaluated ? -1 : nearest;
}

Evaluator::accuracy_e Evaluator::getRhythmAccuracy(int index, Pitch::Note, double offset) const
{
    const int expectedOffsets = m_noteInfoList.size();
    BRISOLA_ASSERT(index >= 0 && index < expectedOffsets);
    if (index < 0 || index >= expectedOffsets)
        return WRONG;
    const double expected = m_noteInfoList.at(index).start();
    const double d = offset - expected;
    accuracy_e result;
    if (std::fabs(d) < m_rhythmPerfect)
        result = PERFECT;
    else if (d > 0)
        result = d < m_rhythmSlight ? LATE : d < m_rhythmSevere ? VERY_LATE : WRONG;
    else
        result = d > -m_rhythmSlight ? EARLY : d > -m_rhythmSevere ? VERY_EARLY : WRONG;
    LOG_INFO(kChannel, "%d -> rhythm offset:%-5.3lf expected:%-5.3f delta:%-5.3f", index, offset, expected, d);
    return result;
}

Evaluator::accuracy_e Evaluator::getPitchAccuracy(int index, Pitch::Note note, int octave, double offset)
{
    BRISOLA_ASSERT(index >= 0 && index < m_noteInfoList.size());
    if (index < 0 || index >= m_noteInfoList.size())
        return WRONG;
    const ScoreNoteInfo& expected = m_noteInfoList.at(index);
    const int expectedOctave = Pitch::gmnToMidiOctave(expected.octave);
    const int e = Pitch::midiNote(Pitch::Note(expected.note), expectedOctave);
    const int a = Pitch::midiNote(note, octave);
    const int d = a - e;
    accuracy_e result;
    if (std::abs(d) <= m_pitchPerfect)
        result = PERFECT;
    else if (d > 0)
        result = d < m_pitchSlight ? HIGH : d > m_pitchSevere ? WRONG : VERY_HIGH;
    else
        result = d >= -m_pitchSlight ? LOW : d < -m_pitchSevere ? WRONG : VERY_LOW;
    updateGmnNote(index, note, octave, result == PERFECT);
    LOG_DEBUG(kChannel, "%d -> pitch  offset:%-5.3lf expected:%s%d actual:%s%d delta:%d", index, offset,
              Pitch::noteToStr(Pitch::Note(expected.note)), expectedOctave, Pitch::noteToStr(note), octave, d);
    return result;
}

void Evaluator::updateGmnNote(int idx, Pitch::Note note, int octave, bool correct)
{
    QMutexLocker lock(&m_gmnMutex);
    const int located = idx >= 0 && idx < m_gmnNoteIndices.size() ? m_gmnNoteIndices.at(idx) : -1;
    if (located < 0) {
        LOG_DEBUG(kChannel, "note %d has no place in the answer's code; not coloured", idx);
        return;
    }
    // a tied note is shown as one note: its continuations take the same colour and pitch
    int last = located;
    const int tie = m_noteLocations.at(located).tieRange;
    while (tie > 0 && last + 1 < m_noteLocations.size() && m_noteLocations.at(last + 1).tieRange == tie
           && !m_noteLocations.at(last + 1).tieStart)
        ++last;
    const int gmnOctave = octave - 3;
    const QString playedHead = QString::fromLatin1(Pitch::noteToStr(note)).toLower() + QString::number(gmnOctave);
    for (int j = located; j <= last; ++j) {
        NoteLocation& loc = m_noteLocations[j];
        loc.colour = correct ? NoteLocation::Right : NoteLocation::Wrong;
        loc.playedHead = playedHead;
        rebuildToken(loc.token);
    }

    // the next note that inherits its octave must keep the one written before
    if (!correct && gmnOctave != m_noteLocations.at(last).octave && last + 1 < m_noteLocations.size()) {
        const NoteLocation& next = m_noteLocations.at(last + 1);
        QString& source = m_gmnSourceTokens[next.token];
        const WrittenNote written = parseWrittenNote(source, next.lead);
        if (!written.explicitOctave) {
            const QString inserted = QString::number(next.octave);
            source.insert(written.headEnd, inserted);
            for (NoteLocation& other : m_noteLocations) {
                if (other.token == next.token && other.lead > next.lead)
                    other.lead += inserted.size();
            }
            rebuildToken(next.token);
        }
    }
}

void Evaluator::rebuildToken(int token)
{
    QString t = m_gmnSourceTokens.at(token);
    // from the right, so that each note's place in the source still holds
    for (int j = m_noteLocations.size() - 1; j >= 0; --j) {
        const NoteLocation& loc = m_noteLocations.at(j);
        if (loc.token != token || loc.colour == NoteLocation::Plain)
            continue;
        const WrittenNote written = parseWrittenNote(t, loc.lead);
        const bool right = loc.colour == NoteLocation::Right;
        const QString text = right ? t.mid(loc.lead, written.end - loc.lead)
                                   : loc.playedHead + t.mid(written.headEnd, written.end - written.headEnd);
        t = t.left(loc.lead) + QLatin1String(right ? kRightPrefix : kWrongPrefix) + QLatin1Char(' ') + text
            + QLatin1Char(' ') + QLatin1String(kSuffix) + t.mid(written.end);
    }
    m_gmnTokens[token] = t;
}

void Evaluator::processUnevaluated(int from, int to)
{
    LOG_ENTRY(kChannel);
    for (int i = qMax(0, from); i < to && i < m_evaluationList.size(); ++i) {
        EvaluationEntry& entry = m_evaluationList[i];
        if (entry.evaluated)
            continue;
        entry.evaluated = true;
        if (!isSounding(i))
            continue;
        if (m_mode != PitchMode)
            entry.rhythm = WRONG;
        if (m_mode != RhythmMode)
            entry.pitch = WRONG;
        entry.skipped = true;
        emitGrade(i);
    }
}

void Evaluator::emitGrade(int index)
{
    EvaluationEntry entry = m_evaluationList.at(index);
    entry.colouredGmn = getGmnBasedOnInput();
    emit inputEvaluated(index, entry);
}

void Evaluator::finalize()
{
    LOG_ENTRY(kChannel);
    processUnevaluated(0, m_noteInfoList.size());
}

double Evaluator::getOutcome() const
{
    BRISOLA_ASSERT(m_noteInfoList.count() == m_evaluationList.count());
    double r = 0.0;
    double p = 0.0;
    int n = 0;
    for (int i = 0; i < m_noteInfoList.size() && i < m_evaluationList.size(); ++i) {
        if (!isSounding(i))
            continue;
        ++n;
        r += accuracyToMark(m_evaluationList.at(i).rhythm);
        p += accuracyToMark(m_evaluationList.at(i).pitch);
    }
    // nothing to sing or tap: nothing earned
    if (n == 0)
        return 0.0;
    if (m_mode == RhythmMode)
        return r / n;
    if (m_mode == PitchMode)
        return p / n;
    return (r / n + p / n) * 0.5;
}

double Evaluator::accuracyToMark(accuracy_e accuracy)
{
    switch (accuracy) {
    case PERFECT:
        return 1.0;
    case EARLY:
    case LATE:
    case LOW:
    case HIGH:
        return 0.75;
    case VERY_EARLY:
    case VERY_LATE:
    case VERY_LOW:
    case VERY_HIGH:
        return 0.5;
    default:
        return 0.0;
    }
}

QString Evaluator::accuracyName(accuracy_e accuracy)
{
    return QString::fromLatin1(QMetaEnum::fromType<accuracy_e>().valueToKey(accuracy));
}

QString Evaluator::getGmnBasedOnInput() const
{
    QMutexLocker lock(&m_gmnMutex);
    const QString code = m_gmnTokens.join(QLatin1Char(' '));
    const bool rewritten = std::any_of(m_noteLocations.cbegin(), m_noteLocations.cend(),
                                       [](const NoteLocation& l) { return l.colour == NoteLocation::Wrong; });
    if (!rewritten || m_writtenClef.isEmpty())
        return code;
    // Only the graded notes change, unless the notes sung in their place would move the answer to
    // another clef than the question's.
    const GmnReader::Result shown = GmnReader::read(code);
    return shown.ok && GmnClef::automatic(shown.events) == m_writtenClef ? code : GmnClef::withClef(code, m_writtenClef);
}

QList<Evaluator::EvaluationEntry> Evaluator::evaluationList() const
{
    return m_evaluationList;
}
