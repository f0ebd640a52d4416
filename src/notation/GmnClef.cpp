#include "notation/GmnClef.h"

#include <QRegularExpression>

namespace {
// Staff step of B3, the lowest mean the treble clef is chosen for (C4 is 28).
const int kTrebleFrom = 27;

int staffStep(const GmnEvent& e)
{
    static const QString letters = QStringLiteral("cdefgab");
    const int letter = e.name.size() == 1 ? letters.indexOf(e.name.at(0)) : -1;
    return letter < 0 ? -1 : (e.octave + 3) * 7 + letter;
}
}  // namespace

QString GmnClef::automatic(const QList<GmnEvent>& events)
{
    long sum = 0;
    int count = 0;
    for (const GmnEvent& e : events) {
        const int step = e.isNote() && !e.split ? staffStep(e) : -1;
        if (step < 0)
            continue;
        sum += step;
        ++count;
    }
    return count > 0 && sum < long(kTrebleFrom) * count ? QStringLiteral("f") : QStringLiteral("g");
}

bool GmnClef::isNamed(const QString& code)
{
    static const QRegularExpression tag(QStringLiteral("\\\\clef\\s*<"));
    return tag.match(code).hasMatch();
}

QString GmnClef::withClef(const QString& code, const QString& clef)
{
    // the first voice opens at the first bracket that is not inside a comment
    static const QRegularExpression open(QStringLiteral("^(\\s*(?:\\(\\*.*?\\*\\)\\s*)*\\{?\\s*)\\["),
                                         QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = open.match(code);
    if (!m.hasMatch())
        return code;
    const int at = m.capturedEnd(0);
    const bool spaced = at < code.size() && code.at(at).isSpace();
    return code.left(at) + QStringLiteral(" \\clef<\"%1\">").arg(clef) + (spaced ? "" : " ") + code.mid(at);
}
