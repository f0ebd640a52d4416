#include "TestCourse.h"

#include "lms/LmsCourse.h"
#include "lms/LmsExerciseActivity.h"
#include "lms/LmsLearningActivity.h"
#include "lms/LmsQuestionActivity.h"
#include "lms/LmsTestActivity.h"

#include <QRegularExpression>
#include <QStringList>

#include <stdexcept>

namespace {

const char g_letters[] = "NLUACI";

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
    const QRegularExpression token(QStringLiteral("([A-Za-z0-9_#]+)(\\[)?|\\]"));
    auto it = token.globalMatch(description);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(0) == QLatin1String("]")) {
            stack.removeLast();
            continue;
        }
        const QString name = m.captured(1);
        LmsModuleElement* parent = stack.last();
        const QString fsName = QStringLiteral("%1_%2").arg(parent->getElementList().size() + 1, 2, 10, QLatin1Char('0')).arg(name);
        LmsElement* element = nullptr;
        if (!m.captured(2).isEmpty()) {
            auto* module = new LmsModuleElement(name, fsName, parent);
            stack.append(module);
            element = module;
        } else if (name.startsWith(QLatin1Char('t'))) {
            element = new LmsTestActivity(name, fsName, parent);
        } else if (name.startsWith(QLatin1Char('l'))) {
            element = new LmsLearningActivity(name, fsName, parent);
        } else if (name.startsWith(QLatin1Char('q'))) {
            element = new LmsQuestionActivity(name, fsName, parent);
        } else {
            element = new LmsExerciseActivity(name, fsName, parent);
        }
        m_states.emplace_back(new ElementState(element));
        if (m_elements.contains(name))
            throw std::logic_error("element names in a test course must be unique");
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
    return QString(QLatin1Char(g_letters[static_cast<int>(state)]));
}

void TestCourse::setStates(const QString& states)
{
    for (const QString& item : states.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = item.split(QLatin1Char('='));
        const int value = QString::fromLatin1(g_letters).indexOf(parts.value(1));
        if (parts.size() != 2 || value < 0)
            throw std::logic_error(("bad state " + item).toStdString());
        dynamic_cast<ElementState*>((*this)[parts[0]]->getState())->setState(static_cast<ElementState::state_e>(value));
    }
}

QString TestCourse::states() const
{
    QStringList out;
    describe(mp_course.get(), out);
    return out.join(QLatin1Char(' '));
}
