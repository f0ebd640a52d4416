#include "framework/QuestionVariant.h"

#include "debug/Debugging.h"

namespace edufrmwk {

namespace {
const QChar g_separator = QLatin1Char('@');
}

QuestionVariant::QuestionVariant(const QString& flat)
{
    unflatten(flat);
}

QString QuestionVariant::flatten() const
{
    return path + g_separator + tag;
}

bool QuestionVariant::isFlattened(const QString& flat)
{
    return flat.contains(g_separator);
}

void QuestionVariant::unflatten(const QString& flat)
{
    const int at = flat.indexOf(g_separator);
    BRISOLA_ASSERT_MSG(at >= 0, "question variant without '@'");
    if (at < 0) {
        path = flat;
        tag.clear();
        return;
    }
    path = flat.left(at);
    tag = flat.mid(at + 1);
}

bool QuestionVariant::operator<(const QuestionVariant& other) const
{
    const int byPath = QString::compare(path, other.path, Qt::CaseSensitive);
    if (byPath != 0)
        return byPath < 0;
    return QString::compare(tag, other.tag, Qt::CaseSensitive) < 0;
}

}  // namespace edufrmwk
