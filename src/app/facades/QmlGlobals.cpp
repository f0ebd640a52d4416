#include "app/facades/QmlGlobals.h"

#include "debug/Debugging.h"

static const char* const kChannel = "zq-qml";

QmlGlobals* QmlGlobals::mp_instance = nullptr;

QmlGlobals* QmlGlobals::getInstance()
{
    if (!mp_instance)
        mp_instance = new QmlGlobals();
    return mp_instance;
}

void QmlGlobals::pushLock()
{
    const int depth = m_lockDepth++;
    if (depth == 0)
        emit interactionEnabledUpdated();
    LOG_DEBUG(kChannel, "pushLock(depth=%d)\n", m_lockDepth);
}

void QmlGlobals::popLock()
{
    if (m_lockDepth > 0)
        --m_lockDepth;
    if (m_lockDepth == 0)
        emit interactionEnabledUpdated();
    LOG_DEBUG(kChannel, "popLock(depth=%d)\n", m_lockDepth);
}
