#pragma once

#include <QString>

// The engine's debug files have fixed names in the shared temporary directory, where another user
// could plant a link to a file of ours: they are opened without following links, only as regular
// files of this user, and truncated only after that check.
class DebugFile {
public:
    // A descriptor open for writing on the emptied file, or -1 (logged) when refused.
    static int openForWriting(const QString& path);
    // Writes the whole text; false when it could not be opened or written.
    static bool writeText(const QString& path, const QByteArray& text);
    // The directory of the fixed names: the system's temporary directory.
    static QString directory();
};
