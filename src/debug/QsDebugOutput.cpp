#include "debug/QsDebugOutput.h"

#include <cstdio>

void QsDebugOutput::output(const QString& message)
{
    const QByteArray local = message.toLocal8Bit();
    std::fprintf(stderr, "%s\n", local.constData());
    std::fflush(stderr);
}
