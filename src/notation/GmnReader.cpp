#include "notation/GmnReader.h"

#include <QHash>

#include <algorithm>
#include <QRegularExpression>

namespace {

struct Pitch {
    const char* name;
    const char* letter;
    int accidentals;
};

// Note names the engine accepts: letters (h is b), the German "is" forms and solfege names.
const Pitch kNames[] = {
    {"c", "c", 0},   {"d", "d", 0},    {"e", "e", 0},   {"f", "f", 0},   {"g", "g", 0},  {"a", "a", 0},
    {"b", "b", 0},   {"h", "b", 0},    {"cis", "c", 1}, {"dis", "d", 1}, {"fis", "f", 1}, {"gis", "g", 1},
    {"ais", "a", 1}, {"do", "c", 0},   {"re", "d", 0},  {"mi", "e", 0},  {"fa", "f", 0}, {"sol", "g", 0},
    {"la", "a", 0},  {"si", "b", 0},   {"ti", "b", 0},
};

bool isPowerOfTwo(long long n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

// Whether one note head (with at most two dots) shows the value; the engine cuts other values up.
bool isDisplayable(const NotationDate& d)
{
    if (isPowerOfTwo(d.num()))
        return true;
    if (d.num() == 3 && isPowerOfTwo(d.denom()) && d.denom() >= 2)
        return true;
    return d.num() == 7 && isPowerOfTwo(d.denom()) && d.denom() >= 4;
}

// The pieces the engine draws for a value: the largest part whose numerator (over the value's own
// denominator) is a power of two and that is at most a whole note, then the same for the rest.
// No written event of a question comes near this; it bounds work on hostile input.
const int kMaxPieces = 4096;

QList<NotationDate> displayablePieces(NotationDate d)
{
    QList<NotationDate> pieces;
    while (d > NotationDate(0, 1) && !isDisplayable(d) && pieces.size() <= kMaxPieces) {
        long long p = 1;
        while (p * 2 <= d.num() && p * 2 <= d.denom())
            p *= 2;
        const NotationDate piece(p, d.denom());
        pieces.append(piece);
        d -= piece;
    }
    if (d > NotationDate(0, 1))
        pieces.append(d);
    return pieces;
}

class Parser {
public:
    Parser(const QString& code, bool cut) : m_code(code), m_cut(cut) {}

    // The first voice only, or every voice of a score in braces (numbered from 1).
    GmnReader::Result run(bool allVoices)
    {
        skipBlank();
        const bool score = peek() == '{';
        if (score) {
            ++m_pos;
            skipBlank();
        }
        NotationDate longest(0, 1);
        for (int voice = 1;; ++voice) {
            if (peek() != '[')
                return fail("a voice must begin with [");
            ++m_pos;
            startVoice(voice);
            readSequence();
            if (!m_error.isEmpty())
                return fail(m_error);
            if (m_time > longest)
                longest = m_time;
            if (!allVoices || !score)
                break;
            skipBlank();
            if (peek() == ',') {
                ++m_pos;
                skipBlank();
                continue;
            }
            if (peek() != '}')
                return fail("missing }");
            ++m_pos;
            break;
        }
        m_result.ok = true;
        m_result.duration = longest;
        return m_result;
    }

private:
    struct Range {
        QString name;
        int tie = 0;
    };

    struct OpenTie {
        int range;
        long long id;  // -1 when the begin tag has no id
    };

    // Every voice starts afresh: time, inherited values and meter are its own. Tie and chord
    // numbers go on, so that they stay unique over the score.
    void startVoice(int voice)
    {
        m_voice = voice;
        m_time = NotationDate(0, 1);
        m_written = NotationDate(1, 4);
        m_dots = 0;
        m_octave = 1;
        m_measureLength = NotationDate(0, 1);
        m_measureStart = NotationDate(0, 1);
        m_ranges.clear();
        m_openTies.clear();
    }

    bool inGrace() const
    {
        for (const Range& r : m_ranges) {
            if (r.name == QLatin1String("grace"))
                return true;
        }
        return false;
    }

    QChar peek(int ahead = 0) const
    {
        const int i = m_pos + ahead;
        return i < m_code.size() ? m_code[i] : QChar();
    }

    GmnReader::Result fail(const QString& why)
    {
        GmnReader::Result r;
        r.error = why;
        r.errorOffset = m_errorPos >= 0 ? m_errorPos : m_pos;
        return r;
    }

    void error(const QString& why)
    {
        if (m_error.isEmpty()) {
            m_error = why;
            m_errorPos = m_pos;
        }
    }

    void skipBlank()
    {
        while (m_pos < m_code.size()) {
            const QChar c = m_code[m_pos];
            if (c.isSpace()) {
                ++m_pos;
            } else if (c == '%') {
                while (m_pos < m_code.size() && m_code[m_pos] != '\n')
                    ++m_pos;
            } else if (c == '(' && peek(1) == '*') {
                skipBlockComment();
            } else {
                break;
            }
        }
    }

    // Block comments nest, as the engine reads them.
    void skipBlockComment()
    {
        int depth = 0;
        while (m_pos < m_code.size()) {
            if (peek() == '(' && peek(1) == '*') {
                ++depth;
                m_pos += 2;
            } else if (peek() == '*' && peek(1) == ')') {
                m_pos += 2;
                if (--depth == 0)
                    return;
            } else {
                ++m_pos;
            }
        }
    }

    bool readNumber(long long& value)
    {
        const int from = m_pos;
        while (m_pos < m_code.size() && m_code[m_pos] >= '0' && m_code[m_pos] <= '9')
            ++m_pos;
        if (m_pos == from)
            return false;
        if (m_pos - from > 6) {
            m_pos = from;
            error("number out of range");
            return false;
        }
        value = m_code.mid(from, m_pos - from).toLongLong();
        return true;
    }

    void readSequence()
    {
        for (;;) {
            skipBlank();
            if (!m_error.isEmpty())
                return;
            const QChar c = peek();
            if (c.isNull()) {
                error("missing ]");
                return;
            }
            if (c == ']') {
                ++m_pos;
                if (!m_ranges.isEmpty())
                    error("range tag not closed");
                return;
            }
            readElement(false);
        }
    }

    // One element of a sequence or a chord: tag, bar, range end, chord, note, rest or empty event.
    void readElement(bool inChord)
    {
        const QChar c = peek();
        if (c == '\\') {
            readTag();
        } else if (c == '|') {
            ++m_pos;
            barLine();
        } else if (c == ')') {
            ++m_pos;
            closeRange();
        } else if (c == '{' && !inChord) {
            ++m_pos;
            readChord();
        } else if (c == '_' || c.isLetter()) {
            readEvent(inChord);
        } else {
            error(QString("unexpected '%1'").arg(c));
        }
    }

    void readTag()
    {
        ++m_pos;  // backslash
        const int from = m_pos;
        while (m_pos < m_code.size() && (m_code[m_pos].isLetterOrNumber() || m_code[m_pos] == '_'))
            ++m_pos;
        const QString name = m_code.mid(from, m_pos - from);
        if (name.isEmpty()) {
            error("tag without a name");
            return;
        }
        long long id = -1;
        if (peek() == ':') {  // tag id
            ++m_pos;
            if (!readNumber(id)) {
                error("tag id expected");
                return;
            }
        }
        QString params;
        skipBlank();
        if (peek() == '<') {
            const int open = ++m_pos;
            bool quoted = false;
            while (m_pos < m_code.size() && (quoted || m_code[m_pos] != '>')) {
                if (m_code[m_pos] == '"')
                    quoted = !quoted;
                ++m_pos;
            }
            if (m_pos >= m_code.size()) {
                error("tag parameters not closed");
                return;
            }
            params = m_code.mid(open, m_pos - open);
            ++m_pos;
        }
        skipBlank();
        const bool range = peek() == '(' && peek(1) != '*';
        if (range)
            ++m_pos;
        positionTag(name, id, params);
        if (range) {
            Range r;
            r.name = name;
            if (name == "tie" || name == "ties")
                r.tie = ++m_tieCount;
            m_ranges.append(r);
        }
    }

    void positionTag(const QString& name, long long id, const QString& params)
    {
        if (name == "meter") {
            setMeter(params);
        } else if (name == "bar" || name == "doubleBar" || name == "endBar" || name == "repeatBegin"
                   || name == "repeatEnd" || name == "finishBar") {
            barLine();
        } else if (name == "tieBegin") {
            m_openTies.append({++m_tieCount, id});
        } else if (name == "tieEnd") {
            // An end with an id closes the begin of that id; one without closes the oldest.
            for (int i = 0; i < m_openTies.size(); ++i) {
                if (id < 0 || m_openTies[i].id == id) {
                    m_openTies.removeAt(i);
                    break;
                }
            }
        }
    }

    void setMeter(const QString& params)
    {
        static const QRegularExpression quoted("\"([^\"]*)\"");
        const QRegularExpressionMatch m = quoted.match(params);
        const QString text = m.hasMatch() ? m.captured(1).trimmed() : params.trimmed();
        m_measureLength = NotationDate(0, 1);
        if (text == "C") {
            m_measureLength = NotationDate(1, 1);
        } else if (text == "C/") {
            m_measureLength = NotationDate(1, 1);
        } else {
            const QStringList parts = text.split('/');
            if (parts.size() == 2) {
                long long num = 0;
                bool ok = true;
                for (const QString& n : parts[0].split('+'))
                    num += n.trimmed().toLongLong(&ok) * (ok ? 1 : 0);
                const long long denom = parts[1].trimmed().toLongLong();
                if (num > 0 && denom > 0)
                    m_measureLength = NotationDate(num, denom);
            }
        }
        m_measureStart = m_time;
    }

    void barLine() { m_measureStart = m_time; }

    void closeRange()
    {
        if (m_ranges.isEmpty()) {
            error("unmatched )");
            return;
        }
        m_ranges.removeLast();
    }

    void readChord()
    {
        const int chord = m_chordCount++;
        m_chordLength = NotationDate(0, 1);
        for (;;) {
            skipBlank();
            if (!m_error.isEmpty())
                return;
            const QChar c = peek();
            if (c.isNull()) {
                error("chord not closed");
                return;
            }
            if (c == '}') {
                ++m_pos;
                break;
            }
            if (c == ',') {
                ++m_pos;
                continue;
            }
            m_currentChord = chord;
            readElement(true);
            m_currentChord = -1;
        }
        if (!inGrace())
            advance(m_chordLength);
    }

    void readEvent(bool inChord)
    {
        const int from = m_pos;
        GmnEvent ev;
        ev.sourceOffset = from;
        if (peek() == '_') {
            ++m_pos;
            ev.kind = GmnEvent::Rest;
            ev.writtenName = "_";
        } else {
            // The engine takes the longest name at this point, so "sib" is si then b.
            const Pitch* name = nullptr;
            int length = QStringLiteral("empty").size();
            const bool empty = m_code.midRef(from, length) == QLatin1String("empty");
            if (!empty) {
                length = 0;
                for (const Pitch& p : kNames) {
                    const int n = int(qstrlen(p.name));
                    if (n > length && m_code.midRef(from, n) == QLatin1String(p.name)) {
                        name = &p;
                        length = n;
                    }
                }
            }
            if (!empty && !name) {
                int end = from;
                while (end < m_code.size() && m_code[end].isLetter())
                    ++end;
                error(QString("unknown note name '%1'").arg(m_code.mid(from, end - from)));
                return;
            }
            m_pos = from + length;
            ev.writtenName = m_code.mid(from, length);
            if (empty) {
                ev.kind = GmnEvent::Empty;
            } else {
                ev.name = name->letter;
                ev.accidentals = name->accidentals;
                while (peek() == '#' || peek() == '&') {
                    ev.accidentals += peek() == '#' ? 1 : -1;
                    ++m_pos;
                }
                // octave, inherited when absent
                const bool negative = peek() == '-' && peek(1).isDigit();
                if (negative)
                    ++m_pos;
                long long octave;
                if (readNumber(octave))
                    m_octave = int(negative ? -octave : octave);
                ev.octave = m_octave;
            }
        }
        // duration: *n/d, *n, /d; dots; all inherited when absent
        bool explicitDuration = false;
        if (peek() == '*') {
            ++m_pos;
            long long num;
            if (!readNumber(num)) {
                error("number expected after *");
                return;
            }
            long long denom = 1;
            if (peek() == '/') {
                ++m_pos;
                if (!readNumber(denom)) {
                    error("number expected after /");
                    return;
                }
            }
            m_written = NotationDate(num, denom);
            explicitDuration = true;
        } else if (peek() == '/') {
            ++m_pos;
            long long denom;
            if (!readNumber(denom)) {
                error("number expected after /");
                return;
            }
            m_written = NotationDate(1, denom);
            explicitDuration = true;
        }
        if (!m_written.isValid() || m_written.num() <= 0) {
            m_pos = from;
            error("bad duration");
            return;
        }
        int dots = 0;
        while (peek() == '.') {
            ++dots;
            ++m_pos;
        }
        if (dots > 0 || explicitDuration)
            m_dots = dots;
        ev.dots = m_dots;
        NotationDate length = m_written;
        NotationDate add = m_written;
        for (int i = 0; i < m_dots; ++i) {
            add = add * NotationDate(1, 2);
            length += add;
        }
        ev.chord = inChord ? m_currentChord : -1;
        ev.voice = m_voice;
        for (const Range& r : m_ranges)
            ev.rangeTags.append(r.name);
        const bool grace = inGrace();
        if (grace) {
            // The engine lists grace notes at the time of the next event, with their written
            // value, and does not draw a rest among them.
            ev.grace = true;
            if (ev.kind == GmnEvent::Rest)
                ev.kind = GmnEvent::Empty;
        }
        emitEvent(ev, length);
        if (grace) {
            // takes no time of its own
        } else if (inChord) {
            if (length > m_chordLength)
                m_chordLength = length;
        } else {
            advance(length);
        }
    }

    int activeTie() const
    {
        for (const Range& r : m_ranges) {
            if (r.tie)
                return r.tie;
        }
        return m_openTies.isEmpty() ? 0 : m_openTies.first().range;
    }

    // Cuts the event at bar lines (when a meter is known) and into displayable values.
    void emitEvent(GmnEvent ev, const NotationDate& length)
    {
        NotationDate t = m_time;
        NotationDate measureStart = m_measureStart;
        QList<NotationDate> barPieces;
        // Empty events are not drawn, so nothing cuts them.
        const bool cut = m_cut && ev.kind != GmnEvent::Empty && !ev.grace;
        if (cut && m_measureLength > NotationDate(0, 1)) {
            // Jump whole measures at once: a long rest must not cost one step per measure.
            if (measureStart + m_measureLength <= t) {
                const NotationDate gone = t - measureStart;
                const long long whole = (long long)(gone.toDouble() / m_measureLength.toDouble());
                measureStart += m_measureLength * NotationDate(std::max(0LL, whole - 1), 1);
                while (measureStart + m_measureLength <= t)
                    measureStart += m_measureLength;
            }
            NotationDate left = length;
            NotationDate at = t;
            while (at + left > measureStart + m_measureLength && barPieces.size() <= kMaxPieces) {
                const NotationDate piece = measureStart + m_measureLength - at;
                barPieces.append(piece);
                left -= piece;
                at += piece;
                measureStart += m_measureLength;
            }
            barPieces.append(left);
        } else {
            barPieces.append(length);
        }
        QList<NotationDate> pieces;
        for (const NotationDate& p : barPieces) {
            if (cut)
                pieces.append(displayablePieces(p));
            else
                pieces.append(p);
        }
        if (pieces.size() > kMaxPieces || !(t + length).isValid()) {
            error("value too long or too fine to place");
            return;
        }

        int tie = activeTie();
        if (pieces.size() > 1 && tie == 0 && ev.kind == GmnEvent::Note)
            tie = ++m_tieCount;  // the engine ties the pieces it draws
        for (int i = 0; i < pieces.size(); ++i) {
            GmnEvent piece = ev;
            piece.start = t;
            piece.duration = pieces[i];
            piece.end = t + pieces[i];
            piece.split = i > 0;
            if (ev.kind == GmnEvent::Note) {
                piece.tieRange = tie;
                piece.tieStart = tie != 0 && !m_tieSeen.contains(tie);
                if (tie)
                    m_tieSeen.insert(tie, true);
            }
            m_result.events.append(piece);
            t = piece.end;
        }
    }

    void advance(const NotationDate& length) { m_time += length; }

    const QString& m_code;
    const bool m_cut;
    int m_pos = 0;
    QString m_error;
    int m_errorPos = -1;
    GmnReader::Result m_result;

    NotationDate m_time{0, 1};
    NotationDate m_written{1, 4};
    int m_dots = 0;
    int m_octave = 1;
    NotationDate m_measureLength{0, 1};
    NotationDate m_measureStart{0, 1};
    QList<Range> m_ranges;
    QList<OpenTie> m_openTies;
    int m_voice = 1;
    QHash<int, bool> m_tieSeen;
    int m_tieCount = 0;
    int m_chordCount = 0;
    int m_currentChord = -1;
    NotationDate m_chordLength{0, 1};
};

}  // namespace

GmnReader::Result GmnReader::read(const QString& code)
{
    return Parser(code, true).run(false);
}

GmnReader::Result GmnReader::readWritten(const QString& code)
{
    return Parser(code, false).run(false);
}

GmnReader::Result GmnReader::readVoices(const QString& code)
{
    return Parser(code, true).run(true);
}

bool GmnReader::cutLikeMap(const QList<GmnEvent>& written, const NotationMap& map, const QList<GmnEvent>& cut,
                           QList<GmnEvent>& out)
{
    out.clear();
    int nextTie = 0;
    for (const GmnEvent& e : written)
        nextTie = std::max(nextTie, e.tieRange);
    for (const GmnEvent& e : cut)
        nextTie = std::max(nextTie, e.tieRange);

    int j = 0;
    NotationDate mappedEnd(0, 1);
    for (const GmnEvent& w : written) {
        if (w.kind == GmnEvent::Empty) {
            out.append(w);
            continue;
        }
        if (j >= map.size()) {
            // Past the end of the map (later pages): the reader's own cutting goes on from here.
            for (const GmnEvent& c : cut) {
                if (c.kind != GmnEvent::Empty && c.start >= mappedEnd && c.sourceOffset >= w.sourceOffset)
                    out.append(c);
            }
            return true;
        }
        // The consecutive entries that together cover the written event.
        int k = j;
        NotationDate at = w.start;
        while (k < map.size() && map[k].time.start == at && map[k].time.end <= w.end) {
            at = map[k].time.end;
            ++k;
            if (at == w.end)
                break;
        }
        if (k == j || at != w.end || (w.chord >= 0 && k - j != 1)) {
            out.clear();
            return false;
        }
        const bool cutUp = k - j > 1;
        const int tie = w.tieRange != 0 ? w.tieRange : (cutUp && w.isNote() ? ++nextTie : 0);
        for (int i = j; i < k; ++i) {
            GmnEvent piece = w;
            piece.start = map[i].time.start;
            piece.end = map[i].time.end;
            piece.duration = piece.end - piece.start;
            piece.split = i > j;
            if (w.isNote()) {
                piece.tieRange = tie;
                piece.tieStart = i == j && (w.tieStart || (tie != 0 && w.tieRange == 0));
            }
            out.append(piece);
        }
        mappedEnd = at;
        j = k;
    }
    if (j != map.size()) {
        out.clear();
        return false;
    }
    return true;
}

bool GmnReader::orderLikeMap(const QList<GmnEvent>& events, const NotationMap& map, QList<GmnEvent>& out)
{
    out.clear();
    QList<int> places;  // indices of the mapped events in events
    for (int i = 0; i < events.size(); ++i) {
        if (events[i].kind != GmnEvent::Empty)
            places.append(i);
    }
    if (places.size() < map.size())
        return false;
    QList<GmnEvent> mapped;
    for (int i : places)
        mapped.append(events[i]);
    for (int from = 0; from < map.size();) {
        int to = from + 1;
        bool grace = mapped[from].grace;
        while (to < mapped.size() && mapped[to].start == mapped[from].start) {
            grace = grace || mapped[to].grace;
            ++to;
        }
        if (grace && to - from > 1 && to <= map.size()) {
            QList<GmnEvent> group = mapped.mid(from, to - from);
            for (int k = from; k < to; ++k) {
                auto it = std::find_if(group.begin(), group.end(), [&](const GmnEvent& e) {
                    return e.start == map[k].time.start && e.end == map[k].time.end;
                });
                if (it == group.end())
                    return false;
                mapped[k] = *it;
                group.erase(it);
            }
        }
        for (int k = from; k < to && k < map.size(); ++k) {
            if (mapped[k].start != map[k].time.start || mapped[k].end != map[k].time.end)
                return false;
        }
        from = to;
    }
    out = events;
    for (int k = 0; k < places.size(); ++k)
        out[places[k]] = mapped[k];
    return true;
}

QList<GmnEvent> GmnReader::mappedEvents(const QList<GmnEvent>& events)
{
    QList<GmnEvent> mapped;
    for (const GmnEvent& e : events) {
        if (e.kind != GmnEvent::Empty)
            mapped.append(e);
    }
    return mapped;
}
