#pragma once

#include <QString>

namespace edufrmwk {

// A folder only this user can use: a directory (not a symlink) of their own, mode 0700. What is found
// at a name in a shared folder may be another user's, so an existing folder is checked like a new one.
class PrivateFolder {
public:
    // True when folder is such a folder; else false with what it is instead in why.
    static bool check(const QString& folder, QString& why);
    // folder, made 0700 when missing; empty (with why) unless it is such a folder. A name ending in
    // "XXXXXX" is a pattern: a new folder whose name no one knows beforehand (those six characters
    // chosen at random), so that no one can take it first.
    static QString make(const QString& folder, QString& why);

};

}  // namespace edufrmwk
