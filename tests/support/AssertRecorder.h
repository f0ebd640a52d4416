#pragma once

#include <QString>
#include <QStringList>

// Failed assertions of the code under test, recorded instead of the fatal-error dialog
// (the run goes on as if Ignore was pressed). The test main installs it for every test.
class AssertRecorder {
public:
    static void install();
    static void clear();
    static int count();
    // "expression" of each failed assertion, in order.
    static QStringList expressions();
    // The message of each failed assertion, in order ("" when it had none).
    static QStringList messages();
};
