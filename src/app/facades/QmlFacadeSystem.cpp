#include "app/facades/QmlFacadeSystem.h"

#include "app/facades/SystemInfoProvider.h"
#include "audio/Audio.h"
#include "debug/Debugging.h"

static const char* const kChannel = "zq-qml";

QmlFacadeSystem::QmlFacadeSystem(QObject* parent) : QObject(parent) {}

bool QmlFacadeSystem::debugMode() const
{
    const SystemInfoProvider* provider = SystemInfoProvider::instance();
    return provider && provider->debugMode();
}

QString QmlFacadeSystem::qmlPath() const
{
    const SystemInfoProvider* provider = SystemInfoProvider::instance();
    return provider ? provider->qmlPath() : QString();
}

QString QmlFacadeSystem::inputDeviceName() const
{
    return Audio::inputDeviceName();
}

QString QmlFacadeSystem::outputDeviceName() const
{
    return Audio::outputDeviceName();
}

QStringList QmlFacadeSystem::inputDeviceList() const
{
    return Audio::inputDeviceList();
}

QStringList QmlFacadeSystem::outputDeviceList() const
{
    return Audio::outputDeviceList();
}

void QmlFacadeSystem::update()
{
    emit inputDeviceListChanged();
    emit outputDeviceListChanged();
}

void QmlFacadeSystem::displayAbout()
{
    if (SystemInfoProvider* provider = SystemInfoProvider::instance())
        provider->displayAbout();
    else
        LOG_WARN(kChannel, "no application object to show About");
}

void QmlFacadeSystem::displayHelp()
{
    if (SystemInfoProvider* provider = SystemInfoProvider::instance())
        provider->displayHelpUrl();
    else
        LOG_WARN(kChannel, "no application object to show help");
}

void QmlFacadeSystem::die(const QString& message)
{
    if (message.isEmpty())
        return;
    Debugging::doAssert("0", __FILE__, __LINE__, message.toLocal8Bit().constData());
}
