#include "score/ScoreGmnRewriter.h"

const char* const ScoreGmnRewriter::highlightOn = "\\noteFormat<color=\"0x1b7edb\"> ";
const char* const ScoreGmnRewriter::highlightOff = "\\noteFormat<color=\"black\"> ";
const char* const ScoreGmnRewriter::percussiveStaff = "[ \\staffFormat<\"1-line\"> \\clef<\"\"> ";
const char* const ScoreGmnRewriter::percussiveNote = " a1";

bool ScoreGmnRewriter::isPercussive(const QString& code)
{
    return code.contains(QLatin1String("percussive"), Qt::CaseSensitive);
}

bool ScoreGmnRewriter::hasPercussiveNotes(const QString& code)
{
    return code.contains(QLatin1String(" x"), Qt::CaseSensitive);
}

QString ScoreGmnRewriter::rewrite(const QString& code)
{
    QString out = code;
    out.replace(QLatin1String("<b>"), QLatin1String(highlightOn), Qt::CaseSensitive);
    out.replace(QLatin1String("</b>"), QLatin1String(highlightOff), Qt::CaseSensitive);
    if (isPercussive(code)) {
        // the staff form ends in a blank, so an "x" right after "[" is rewritten too
        out.replace(QLatin1String("["), QLatin1String(percussiveStaff), Qt::CaseSensitive);
        out.replace(QLatin1String(" x"), QLatin1String(percussiveNote), Qt::CaseSensitive);
    }
    return out;
}
