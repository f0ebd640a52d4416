#pragma once

#include "framework/ElementState.h"

#include <QMap>
#include <QString>

#include <memory>
#include <vector>

class LmsCourse;
class LmsElement;

// A small course built from a compact description, with an ElementState on every element (as the
// shell installs them). "g1[s1[a1 t2] x3]": a name followed by "[...]" is a module, a bare name an
// activity: "t..." a test, "l..." a learning page, "q..." a plain question activity, others exercises.
// Each element's directory name is its two-digit position, "_" and its name, so paths read "g1/s1/a1".
class TestCourse {
public:
    explicit TestCourse(const QString& description);
    ~TestCourse();

    LmsCourse* course() const { return mp_course.get(); }
    LmsElement* operator[](const QString& name) const;

    // "a1=C a2=U": N(one) L(ocked) U(nlocked) A(borted) C(ompleted) I(nvalid), set in memory only.
    void setStates(const QString& states);
    // Every element but the course in tree order, "name=X" joined by blanks.
    QString states() const;

    static QString letter(ElementState::state_e state);

private:
    std::unique_ptr<LmsCourse> mp_course;
    QMap<QString, LmsElement*> m_elements;
    std::vector<std::unique_ptr<ElementState>> m_states;
};
