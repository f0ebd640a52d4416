#pragma once

#include <QString>

#include <functional>

// Starts a new process of the program for a restart. The single-instance guard is released first:
// a successor that found it still held would take this process for a running instance and end.
class ProgramRelauncher {
public:
    // False when the program could not be started; then an ERROR line is logged and the user is told.
    static bool relaunch(const std::function<void()>& releaseGuard, const QString& program);
};
