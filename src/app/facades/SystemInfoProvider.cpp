#include "app/facades/SystemInfoProvider.h"

static SystemInfoProvider* s_provider = nullptr;

void SystemInfoProvider::setInstance(SystemInfoProvider* provider)
{
    s_provider = provider;
}

SystemInfoProvider* SystemInfoProvider::instance()
{
    return s_provider;
}
