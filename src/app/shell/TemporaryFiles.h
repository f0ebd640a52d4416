#pragma once

#include <QString>

// The program's temporary files ("ruvex_zq_*": rendered scores) in the temporary folder, removed at
// start-up and at clean-up. Only this user's own regular files whose names match exactly are touched:
// the folder (often /tmp) is shared, and the program may run as root.
class TemporaryFiles {
public:
    static const char* pattern() { return "ruvex_zq_*"; }
    // Removes the matching files in dir; returns how many were found.
    static int cleanup(const QString& dir);
};
