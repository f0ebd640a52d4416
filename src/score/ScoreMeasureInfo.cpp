#include "score/ScoreMeasureInfo.h"

#include <QStringList>

QString ScoreBeatInfo::toString() const
{
    return QStringLiteral("%1:%2:%3").arg(index).arg(length).arg(triple ? "T" : "S");
}

QString ScoreMeasureInfo::toString() const
{
    QStringList scheme;
    for (int group : countingScheme)
        scheme << QString::number(group);
    QStringList beats;
    for (const ScoreBeatInfo& beat : beatList)
        beats << beat.toString();
    return QStringLiteral("%1/%2 (countingScheme:\"%3\" beatList=\"%4\")")
        .arg(numerator)
        .arg(denominator)
        .arg(countingScheme.isEmpty() ? QStringLiteral("default") : scheme.join('+'))
        .arg(beats.join(' '));
}
