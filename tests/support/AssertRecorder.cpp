#include "support/AssertRecorder.h"

#include "debug/Debugging.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex g_mutex;
QStringList g_expressions;

void record(const char* expression, const char*, int, const char*)
{
    QMutexLocker lock(&g_mutex);
    g_expressions.append(QString::fromLatin1(expression));
}

}  // namespace

void AssertRecorder::install()
{
    Debugging::setAssertHook(record);
}

void AssertRecorder::clear()
{
    QMutexLocker lock(&g_mutex);
    g_expressions.clear();
}

int AssertRecorder::count()
{
    QMutexLocker lock(&g_mutex);
    return g_expressions.size();
}

QStringList AssertRecorder::expressions()
{
    QMutexLocker lock(&g_mutex);
    return g_expressions;
}
