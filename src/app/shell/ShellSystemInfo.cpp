#include "app/shell/ShellSystemInfo.h"

#include "app/shell/Tarvolin.h"

bool ShellSystemInfo::debugMode() const
{
    return Tarvolin::getInstance()->m_debugMode;
}

QString ShellSystemInfo::qmlPath() const
{
    return Tarvolin::getInstance()->m_qmlPath;
}

void ShellSystemInfo::displayAbout()
{
    Tarvolin::getInstance()->displayAbout();
}

void ShellSystemInfo::displayHelpUrl()
{
    Tarvolin::getInstance()->displayHelpUrl();
}
