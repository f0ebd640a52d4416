#include "exercise/ExerciseDebugContext.h"

namespace {
bool g_debugMode = false;
ExerciseDebugContext::PathProvider& pathProvider()
{
    static ExerciseDebugContext::PathProvider provider;
    return provider;
}
}  // namespace

void ExerciseDebugContext::setDebugMode(bool on)
{
    g_debugMode = on;
}

bool ExerciseDebugContext::debugMode()
{
    return g_debugMode;
}

void ExerciseDebugContext::setCurrentActivityPathProvider(const PathProvider& provider)
{
    pathProvider() = provider;
}

QString ExerciseDebugContext::currentActivityPath()
{
    const PathProvider& provider = pathProvider();
    return provider ? provider() : QString();
}
