#pragma once

#include <QString>

#include <functional>

// What the exercise engine's debug dump needs from the application shell, which fills it in at
// start-up: the debug-mode flag and the normalised path of the current activity. The engine thus
// depends on neither the course nor the records layer. Main thread only.
class ExerciseDebugContext {
public:
    using PathProvider = std::function<QString()>;

    static void setDebugMode(bool on);
    static bool debugMode();
    // The provider returns an empty path when there is no current activity.
    static void setCurrentActivityPathProvider(const PathProvider& provider);
    // Empty when no provider is installed.
    static QString currentActivityPath();
};
