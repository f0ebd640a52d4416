#pragma once

#include <QString>

// Writes straight to standard error: going through the toolkit's debug output would
// route the line back into the logger through the installed message handler.
class QsDebugOutput {
public:
    static void output(const QString& message);
};
