#pragma once

#include <QString>

// Where the notation engine's files are: the installed layout beside the executable
// (<bin>/../Resources/score/...) first, then the development location the build fills.
class NotationResources {
public:
    // Directory holding the host script and the engine files ("engine" under the score assets).
    static QString engineDirectory();
    // The score assets directory ("score" under the resources); empty when none is found.
    static QString scoreAssetsDirectory();
    // "guido2.ttf" in the assets' "fonts" folder.
    static QString fontFile();
    // Registers the notation font with the application's font database once; false when it cannot.
    static bool registerFont();

    static QString hostScriptName() { return QStringLiteral("guido-host.js"); }
    static QString fontFamily() { return QStringLiteral("Guido2"); }
};
