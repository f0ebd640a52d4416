#pragma once

#include <QString>

// What the system facade needs of the application object: the shell registers its implementation
// at start-up, so the facades build and test without the window.
class SystemInfoProvider {
public:
    virtual ~SystemInfoProvider() = default;

    virtual bool debugMode() const = 0;
    virtual QString qmlPath() const = 0;
    virtual void displayAbout() = 0;
    virtual void displayHelpUrl() = 0;

    // Not owned; null until the shell sets it (and after it clears it).
    static void setInstance(SystemInfoProvider* provider);
    static SystemInfoProvider* instance();
};
