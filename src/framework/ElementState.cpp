#include "framework/ElementState.h"

#include "debug/Debugging.h"

namespace {
const char* const g_stateNames[] = {"NONE", "LOCKED", "UNLOCKED", "ABORTED", "COMPLETED", "INVALID"};
const int g_stateCount = sizeof g_stateNames / sizeof g_stateNames[0];
}  // namespace

ElementState::ElementState(LmsElement* element)
    : m_state(INVALID)
    , mp_element(element)
{
    BRISOLA_ASSERT(element);
    if (element)
        element->setState(this);
}

ElementState::~ElementState()
{
    if (mp_element && mp_element->getState() == this)
        mp_element->setState(nullptr);
}

QString ElementState::stateToStr(state_e state)
{
    const int index = static_cast<int>(state);
    BRISOLA_ASSERT(index >= 0 && index < g_stateCount);
    if (index < 0 || index >= g_stateCount)
        return QString::fromLatin1(g_stateNames[INVALID]);
    return QString::fromLatin1(g_stateNames[index]);
}

ElementState::state_e ElementState::strToState(const QString& name)
{
    for (int i = 0; i < g_stateCount; ++i) {
        if (name.compare(QLatin1String(g_stateNames[i]), Qt::CaseInsensitive) == 0)
            return static_cast<state_e>(i);
    }
    return INVALID;
}
