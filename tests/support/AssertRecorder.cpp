#include "support/AssertRecorder.h"

#include "debug/Debugging.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex g_mutex;
QStringList g_expressions;
QStringList g_messages;

void record(const char* expression, const char*, int, const char* message)
{
    QMutexLocker lock(&g_mutex);
    g_expressions.append(QString::fromLatin1(expression));
    g_messages.append(QString::fromLocal8Bit(message ? message : ""));
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
    g_messages.clear();
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

QStringList AssertRecorder::messages()
{
    QMutexLocker lock(&g_mutex);
    return g_messages;
}
