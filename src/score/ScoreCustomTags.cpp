#include "score/ScoreCustomTags.h"

#include <QRegularExpression>

namespace {

// First match of pattern in code; the first capture (or the whole match) in *capture.
bool findFirst(const QString& code, const char* pattern, QString* capture = nullptr)
{
    const QRegularExpression re(QString::fromLatin1(pattern), QRegularExpression::UseUnicodePropertiesOption);
    const QRegularExpressionMatch m = re.match(code);
    if (!m.hasMatch())
        return false;
    if (capture)
        *capture = m.lastCapturedIndex() >= 1 ? m.captured(1) : m.captured(0);
    return true;
}

} // namespace

ScoreCustomTags ScoreCustomTags::read(const QString& code)
{
    ScoreCustomTags tags;
    QString text;
    if (findFirst(code, R"re(key<(-?\d+)>)re", &text)) {
        bool ok = false;
        const int key = text.toInt(&ok);
        tags.hasKey = ok;
        tags.key = ok ? key : 0;
    }
    if (findFirst(code, R"re(solfege<"?(\w+)"?>)re", &text))
        tags.scaleType = text;
    if (findFirst(code, R"re(bpm<(\d+)>)re", &text)) {
        bool ok = false;
        const int bpm = text.toInt(&ok);
        // a tempo below 1 would give endless note times
        if (ok && bpm >= 1) {
            tags.hasTempo = true;
            tags.tempo = bpm;
        } else {
            tags.refusedTempo = text;
        }
    }
    tags.percussive = findFirst(code, "percussive");
    tags.countingOverlay = findFirst(code, "countingOverlay");
    tags.solfegeOverlay = findFirst(code, "solfegeOverlay");
    if (findFirst(code, R"re(metronome<"?(\w+)"?>)re", &text)) {
        tags.hasMetronome = true;
        tags.metronome = text;
    }
    tags.countIn = findFirst(code, "countIn");
    return tags;
}
