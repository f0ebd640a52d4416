#pragma once

#include "lms/LmsElement.h"

#include <QString>

// The learner's run-time state of one course element. The names are the database's state texts.
class ElementState : public LmsElement::State {
public:
    enum state_e { NONE = 0, LOCKED = 1, UNLOCKED = 2, ABORTED = 3, COMPLETED = 4, INVALID = 5 };

    // Installs itself as the element's state object (a previous one is replaced, not deleted); the
    // element deletes it with itself.
    explicit ElementState(LmsElement* element);
    // Leaves its element without a state object when it goes first.
    ~ElementState() override;

    void setState(state_e state) { m_state = state; }
    state_e getState() const { return m_state; }
    LmsElement* getParentElement() { return mp_element; }

    static QString stateToStr(state_e state);
    // Letter case is ignored; a name that matches none is INVALID.
    static state_e strToState(const QString& name);

private:
    state_e m_state;
    LmsElement* mp_element;
};
