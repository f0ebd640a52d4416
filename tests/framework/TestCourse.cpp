#include "TestCourse.h"

#include "lms/LmsCourse.h"
#include "lms/LmsExerciseActivity.h"
#include "lms/LmsLearningActivity.h"
#include "lms/LmsQuestionActivity.h"
#include "lms/LmsTestActivity.h"

#include <QStringList>

#include <stdexcept>

namespace {

const QString g_letters = QStringLiteral("NLUACI");

LmsElement* activity(const QString& name, const QString& dir, LmsModuleElement* parent)
{
    if (name.startsWith(QLatin1Char('t')))
        return new LmsTestActivity(name, dir, parent);
    if (name.startsWith(QLatin1Char('l')))
        return new LmsLearningActivity(name, dir, parent);
    if (name.startsWith(QLatin1Char('q')))
        return new LmsQuestionActivity(name, dir, parent);
    return new LmsExerciseActivity(name, dir, parent);
}

void describe(const LmsModuleElement* module, QStringList& out)
{
    for (const LmsElement* child : module->getElementList()) {
        auto* state = dynamic_cast<ElementState*>(child->getState());
        out << child->getName() + QLatin1Char('=') + TestCourse::letter(state->getState());
        if (auto* sub = dynamic_cast<const LmsModuleElement*>(child))
            describe(sub, out);
    }
}

}  // namespace

TestCourse::TestCourse(const QString& description)
    : mp_course(new LmsCourse(QStringLiteral("Course")))
{
    m_states.emplace_back(new ElementState(mp_course.get()));
    QList<LmsModuleElement*> stack{mp_course.get()};
    QString tokens = description;
    tokens.replace(QLatin1Char('['), QLatin1String("[ ")).replace(QLatin1Char(']'), QLatin1String(" ] "));
    for (const QString& token : tokens.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (token == QLatin1String("]")) {
            stack.removeLast();
            continue;
        }
        const bool module = token.endsWith(QLatin1Char('['));
        const QString name = module ? token.chopped(1) : token;
        LmsModuleElement* parent = stack.last();
        const QString dir = QStringLiteral("%1_%2").arg(parent->getElementList().size() + 1, 2, 10, QLatin1Char('0')).arg(name);
        if (module)
            stack.append(new LmsModuleElement(name, dir, parent));
        LmsElement* element = module ? stack.last() : activity(name, dir, parent);
        m_states.emplace_back(new ElementState(element));
        m_elements.insert(name, element);
    }
}

TestCourse::~TestCourse() = default;

LmsElement* TestCourse::operator[](const QString& name) const
{
    LmsElement* element = m_elements.value(name);
    if (!element)
        throw std::logic_error(("no element " + name).toStdString());
    return element;
}

QString TestCourse::letter(ElementState::state_e state)
{
    return g_letters.at(static_cast<int>(state));
}

void TestCourse::setStates(const QString& states)
{
    for (const QString& item : states.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int value = g_letters.indexOf(item.section(QLatin1Char('='), 1));
        if (value < 0 || item.count(QLatin1Char('=')) != 1)
            throw std::logic_error(("bad state " + item).toStdString());
        const auto state = static_cast<ElementState::state_e>(value);
        dynamic_cast<ElementState*>((*this)[item.section(QLatin1Char('='), 0, 0)]->getState())->setState(state);
    }
}

QString TestCourse::states() const
{
    QStringList out;
    describe(mp_course.get(), out);
    return out.join(QLatin1Char(' '));
}
