#pragma once

#include <QString>

// Registers the application fonts (*.ttf, *.otf) of one folder with the toolkit, for the process's life.
class FontLoader {
public:
    // Returns how many fonts were registered; a rejected file is logged and the others still load.
    static int load(const QString& fontsPath);
};
