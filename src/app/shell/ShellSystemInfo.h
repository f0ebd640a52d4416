#pragma once

#include "app/facades/SystemInfoProvider.h"

// The system facade's view of the application object.
class ShellSystemInfo : public SystemInfoProvider {
public:
    bool debugMode() const override;
    QString qmlPath() const override;
    void displayAbout() override;
    void displayHelpUrl() override;
};
