#include "score/ScoreAnalyzer.h"

#include "debug/Debugging.h"

#include <QRegularExpression>

#include <cmath>

static const char* const kChannel = "score";

ScoreAnalyzer::ScoreAnalyzer(unsigned long instance, const QString& code)
    : m_instance(instance)
    , m_code(code)
{
}

void ScoreAnalyzer::deriveBeats(ScoreMeasureInfo& measure) const
{
    // no meter yet: there is nothing to divide
    if (!measure.hasMeter())
        return;
    const int n = measure.numerator;
    const int d = measure.denominator;
    const bool compound = d == 8 && n % 3 == 0;
    const int beats = compound ? n / 3 : n;
    const double unit = (double(n) / double(d)) / beats;

    if (measure.countingScheme.isEmpty()) {
        const int count = int((double(n) / double(d)) / unit + 1e-9);
        for (int i = 0; i < count; ++i)
            measure.beatList << ScoreBeatInfo{i, unit, compound};
        return;
    }
    for (int i = 0; i < measure.countingScheme.size(); ++i) {
        const int group = measure.countingScheme.at(i);
        if (group == 2)
            measure.beatList << ScoreBeatInfo{i, 2 * unit, false};
        else if (group == 3)
            measure.beatList << ScoreBeatInfo{i, 3 * unit, true};
        else
            LOG_WARN(kChannel, "[%lu] syntax error while deriving beat info (gmn=\"%s\")", m_instance,
                     qPrintable(m_code));
    }
}

bool ScoreAnalyzer::analyzeMeasures(QList<ScoreMeasureInfo>& measures) const
{
    static const QRegularExpression numericMeter(R"re(meter<"(\d+)/(\d+)">)re");
    static const QRegularExpression anyMeter(R"re(meter<"([^"]*)">)re");
    static const QRegularExpression letter("([a-z]|[A-Z])");
    static const QRegularExpression scheme(R"re(countingScheme<"([^"]*)">)re");

    measures.clear();
    QStringList segments = m_code.split(QLatin1String("|"), Qt::KeepEmptyParts);
    if (segments.size() == 1)
        segments = segments.first().split(QLatin1String("\\bar"), Qt::KeepEmptyParts);

    ScoreMeasureInfo current;
    for (const QString& segment : segments) {
        const QRegularExpressionMatch numeric = numericMeter.match(segment);
        const QRegularExpressionMatch other = anyMeter.match(segment);
        if (numeric.hasMatch()) {
            bool okN = false, okD = false;
            const int n = numeric.captured(1).toInt(&okN);
            const int d = numeric.captured(2).toInt(&okD);
            if (!okN || !okD || n < 1 || d < 1 || n > maxMeterNumerator) {
                LOG_WARN(kChannel, "[%lu] syntax error while deriving time signatures (gmn=\"%s\")", m_instance,
                         qPrintable(m_code));
                measures.clear();
                return false;
            }
            current = ScoreMeasureInfo{n, d, {}, {}};
        } else if (other.hasMatch()) {
            if (other.captured(1) != QLatin1String("C/")) {
                LOG_WARN(kChannel, "[%lu] syntax error while deriving time signatures (gmn=\"%s\")", m_instance,
                         qPrintable(m_code));
                measures.clear();
                return false;
            }
            current = ScoreMeasureInfo{2, 2, {}, {}};
        } else if (!current.hasMeter() && letter.match(segment).hasMatch()) {
            LOG_WARN(kChannel, "[%lu] no meter specified; assuming 4/4 (gmn=\"%s\")", m_instance, qPrintable(m_code));
            current = ScoreMeasureInfo{4, 4, {}, {}};
        }

        const QRegularExpressionMatch schemeMatch = scheme.match(segment);
        if (schemeMatch.hasMatch()) {
            current.countingScheme.clear();
            current.beatList.clear();
            QString text = schemeMatch.captured(1);
            text.remove(' ');
            for (const QString& piece : text.split('+', Qt::KeepEmptyParts)) {
                const int group = piece.toInt();
                if (group == 0) {
                    LOG_WARN(kChannel, "[%lu] syntax error while deriving counting scheme (gmn=\"%s\")", m_instance,
                             qPrintable(m_code));
                    continue;
                }
                current.countingScheme << group;
            }
        }

        if (current.beatList.isEmpty())
            deriveBeats(current);
        measures << current;
    }

    QStringList texts;
    for (const ScoreMeasureInfo& m : measures)
        texts << m.toString();
    LOG_TRACE(kChannel, "[%lu] measures: %s", m_instance, qPrintable("[ " + texts.join(" | ") + " ]"));
    return true;
}

QString ScoreAnalyzer::countingSyllable(int pct, int beatIndex, bool triple)
{
    const QString unknown = QString::number(pct) + '?';
    switch (pct) {
    case 0:
        return QString::number(beatIndex + 1);
    case 16:
        return triple ? QStringLiteral("a") : unknown;
    case 25:
        return triple ? unknown : QStringLiteral("e");
    case 33:
        return QStringLiteral("trip");
    case 50:
        return triple ? QStringLiteral("a") : QStringLiteral("&");
    case 66:
        return QStringLiteral("let");
    case 75:
        return triple ? unknown : QStringLiteral("a");
    case 83:
        return triple ? QStringLiteral("a") : unknown;
    default:
        return unknown;
    }
}

bool ScoreAnalyzer::analyzeRhythm(const QList<ScoreNoteInfo>& notes, const QList<ScoreMeasureInfo>& measures,
                                  QStringList& syllables) const
{
    syllables.clear();
    double lastOnset = -1.0;
    for (const ScoreNoteInfo& note : notes) {
        if (note.note == 12) {
            syllables << QString();
            continue;
        }
        const double p = note.guidoTimeSegment.start.toDouble();
        if (p == lastOnset) {
            syllables << QString();
            continue;
        }
        lastOnset = p;

        const ScoreMeasureInfo* measure = nullptr;
        double measureStart = 0.0;
        for (const ScoreMeasureInfo& m : measures) {
            if (measureStart + m.length() > p) {
                measure = &m;
                break;
            }
            measureStart += m.length();
        }
        if (!measure) {
            LOG_WARN(kChannel, "[%lu] syntax error while mapping note to measure; explicit bars missing? (gmn=\"%s\")",
                     m_instance, qPrintable(m_code));
            return false;
        }
        const double o = p - measureStart;

        const ScoreBeatInfo* beat = nullptr;
        double beatStart = 0.0;
        for (int i = 0; i < measure->beatList.size(); ++i) {
            const ScoreBeatInfo& b = measure->beatList.at(i);
            const bool last = i == measure->beatList.size() - 1;
            if (beatStart <= o && (last || beatStart + b.length > o)) {
                beat = &b;
                break;
            }
            beatStart += b.length;
        }
        if (!beat) {
            LOG_WARN(kChannel, "[%lu] syntax error while mapping note to beat; explicit bars missing? (gmn=\"%s\")",
                     m_instance, qPrintable(m_code));
            return false;
        }
        // the small allowance keeps exact fractions such as 1/2 from truncating to 49
        const int pct = int(std::floor((o - beatStart) / beat->length * 100.0 + 1e-7));
        syllables << countingSyllable(pct, beat->index, beat->triple);
    }
    return true;
}

void ScoreAnalyzer::analyzeMelody(const QList<ScoreNoteInfo>& notes, int key, Music::ScaleType scale,
                                  QStringList& syllables) const
{
    syllables.clear();
    const bool keySupported = Music::isKeySupported(key);
    if (!keySupported)
        LOG_WARN(kChannel, "[%lu] no solfege for key %d; syllables shown as \"?\"", m_instance, key);
    for (const ScoreNoteInfo& note : notes) {
        if (note.note == 12) {
            syllables << QString();
            continue;
        }
        const char* text = keySupported ? Music::noteToSolfege(key, scale, note.note) : nullptr;
        syllables << (text ? QString::fromLatin1(text) : QStringLiteral("?"));
    }
}
