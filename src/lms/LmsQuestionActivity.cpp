#include "lms/LmsQuestionActivity.h"

#include "lms/LmsModuleElement.h"
#include "lms/LmsPlugins.h"
#include "lms/LmsQuestion.h"
#include "lms/LmsQuestionAssociation.h"
#include "lms/LmsQuestionFilter.h"

#include <QTime>

#include <algorithm>
#include <random>

namespace {

// Reseeded from the time of day whenever a question list is made, as the course expects;
// a small generator, since every question activity of the course reseeds it on loading.
std::minstd_rand& selectionRandom()
{
    static std::minstd_rand generator;
    return generator;
}

struct QuestionSelectEntry {
    LmsQuestion* question;
    bool used;
    quint64 selection;  // which call chose it last; a clock reading can repeat
    quint32 randomKey;
};

// Never chosen first, then chosen longest ago, then the random key: a strict weak order,
// so questions chosen together are shuffled again on their next turn.
bool questionSelectLessThan(const QuestionSelectEntry& a, const QuestionSelectEntry& b)
{
    if (a.used != b.used)
        return !a.used;
    if (a.selection != b.selection)
        return a.selection < b.selection;
    return a.randomKey < b.randomKey;
}

}  // namespace

// ---- TemplateMap

LmsQuestionActivity::TemplateMap::~TemplateMap()
{
    clear();
}

void LmsQuestionActivity::TemplateMap::insert(LmsQuestion* question)
{
    if (!question)
        return;
    question->setActivity(nullptr);
    if (LmsQuestion* earlier = m_templates.take(question->getType()))
        delete earlier;
    question->setUid(-1);
    question->setActivity(mp_parent);
    m_templates.insert(question->getType(), question);
}

bool LmsQuestionActivity::TemplateMap::contains(LmsQuestion* question) const
{
    return question && std::find(m_templates.cbegin(), m_templates.cend(), question) != m_templates.cend();
}

LmsQuestion* LmsQuestionActivity::TemplateMap::getQuestion(int index) const
{
    if (index < 0 || index >= m_templates.size())
        return nullptr;
    return *(m_templates.cbegin() + index);
}

int LmsQuestionActivity::TemplateMap::getIndexOf(LmsQuestion* question) const
{
    int index = 0;
    for (auto it = m_templates.cbegin(); it != m_templates.cend(); ++it, ++index) {
        if (it.value() == question)
            return index;
    }
    return -1;
}

LmsQuestion* LmsQuestionActivity::TemplateMap::take(const QString& type)
{
    LmsQuestion* question = m_templates.take(type);
    if (question)
        question->setActivity(nullptr);
    return question;
}

LmsQuestion* LmsQuestionActivity::TemplateMap::take(LmsQuestion* question)
{
    if (!question)
        return nullptr;
    bool found = false;
    for (auto it = m_templates.begin(); it != m_templates.end();) {
        if (it.value() == question) {
            it = m_templates.erase(it);
            found = true;
        } else {
            ++it;
        }
    }
    if (!found)
        return nullptr;
    question->setActivity(nullptr);
    return question;
}

void LmsQuestionActivity::TemplateMap::remove(const QString& type)
{
    delete take(type);
}

void LmsQuestionActivity::TemplateMap::remove(LmsQuestion* question)
{
    delete take(question);
}

void LmsQuestionActivity::TemplateMap::clear()
{
    const QList<LmsQuestion*> templates = m_templates.values();
    m_templates.clear();
    qDeleteAll(templates);
}

// ---- QuestionList

LmsQuestionActivity::QuestionList::QuestionList(LmsQuestionActivity* parent) : mp_parent(parent)
{
    selectionRandom().seed(static_cast<std::minstd_rand::result_type>(QTime(0, 0).secsTo(QTime::currentTime())));
}

LmsQuestionActivity::QuestionList::~QuestionList()
{
    clear();
}

LmsQuestion* LmsQuestionActivity::QuestionList::append(LmsQuestion* question)
{
    if (!question || m_members.contains(question))
        return question;
    question->setActivity(nullptr);
    question->setUid(getNextUid());
    added(question);
    question->setActivity(mp_parent);
    return question;
}

void LmsQuestionActivity::QuestionList::added(LmsQuestion* question)
{
    m_questions.append(question);
    m_members.insert(question);
    m_largestUid = qMax(m_largestUid, question->getUid());
}

LmsQuestion* LmsQuestionActivity::QuestionList::append()
{
    const QStringList types = LmsPlugins::getTypeList();
    if (types.isEmpty())
        return nullptr;
    auto* question = new LmsQuestion(nullptr);
    question->setUid(getNextUid());
    question->setType(types.first());
    added(question);
    question->setActivity(mp_parent);
    return question;
}

LmsQuestion* LmsQuestionActivity::QuestionList::getQuestion(int index) const
{
    return index >= 0 && index < m_questions.size() ? m_questions.at(index) : nullptr;
}

int LmsQuestionActivity::QuestionList::getNextUid() const
{
    if (!m_largestUidKnown) {
        m_largestUid = -1;
        for (const LmsQuestion* question : m_questions)
            m_largestUid = qMax(m_largestUid, question->getUid());
        m_largestUidKnown = true;
    }
    return m_largestUid + 1;
}

LmsQuestion* LmsQuestionActivity::QuestionList::take(LmsQuestion* question)
{
    return take(m_questions.indexOf(question));
}

LmsQuestion* LmsQuestionActivity::QuestionList::take(int index)
{
    if (index < 0 || index >= m_questions.size())
        return nullptr;
    LmsQuestion* question = m_questions.takeAt(index);
    m_members.remove(question);
    if (question->getUid() >= m_largestUid)
        m_largestUidKnown = false;
    m_lastUsed.remove(question);
    question->setActivity(nullptr);
    return question;
}

void LmsQuestionActivity::QuestionList::remove(LmsQuestion* question)
{
    delete take(question);
}

void LmsQuestionActivity::QuestionList::remove(int index)
{
    delete take(index);
}

void LmsQuestionActivity::QuestionList::clear()
{
    const QList<LmsQuestion*> questions = m_questions;
    m_questions.clear();
    m_members.clear();
    m_largestUid = -1;
    m_largestUidKnown = true;
    m_lastUsed.clear();
    qDeleteAll(questions);
}

int LmsQuestionActivity::QuestionList::getMatchesCount(const LmsQuestionFilter* filter) const
{
    if (!filter)
        return 0;
    return static_cast<int>(std::count_if(m_questions.cbegin(), m_questions.cend(),
                                          [filter](const LmsQuestion* q) { return q->matchFilter(filter); }));
}

QList<LmsQuestion*> LmsQuestionActivity::QuestionList::getAllMatchedQuestions(const LmsQuestionFilter* filter) const
{
    QList<LmsQuestion*> matched;
    if (!filter)
        return matched;
    for (LmsQuestion* question : m_questions) {
        if (question->matchFilter(filter))
            matched.append(question);
    }
    return matched;
}

QList<LmsQuestion*> LmsQuestionActivity::QuestionList::selectQuestions(const LmsQuestionFilter* filter)
{
    QList<LmsQuestion*> chosen;
    if (!filter)
        return chosen;
    std::vector<QuestionSelectEntry> entries;
    for (LmsQuestion* question : getAllMatchedQuestions(filter)) {
        const auto used = m_lastUsed.constFind(question);
        const bool wasUsed = used != m_lastUsed.constEnd();
        entries.push_back({question, wasUsed, wasUsed ? used->selection : 0, static_cast<quint32>(selectionRandom()())});
    }
    std::sort(entries.begin(), entries.end(), questionSelectLessThan);
    const int count = filter->getCount();
    if (count <= 0)
        return chosen;
    const Usage usage{QDateTime::currentDateTimeUtc(), ++m_selections};
    for (const QuestionSelectEntry& entry : entries) {
        if (chosen.size() >= count)
            break;
        m_lastUsed.insert(entry.question, usage);
        chosen.append(entry.question);
    }
    return chosen;
}

QDateTime LmsQuestionActivity::QuestionList::getLastUsed(LmsQuestion* question) const
{
    return m_lastUsed.value(question).time;
}

// ---- AssociationList

LmsQuestionActivity::AssociationList::AssociationList(const AssociationList* other)
    : mp_parent(other ? other->mp_parent : nullptr)
{
    if (other)
        assign(*other);
}

LmsQuestionActivity::AssociationList::~AssociationList()
{
    clear();
}

LmsQuestionAssociation* LmsQuestionActivity::AssociationList::append()
{
    auto* association = new LmsQuestionAssociation();
    association->setSource(mp_parent);
    association->setFilter(new LmsQuestionFilter());
    m_associations.append(association);
    return association;
}

LmsQuestionAssociation* LmsQuestionActivity::AssociationList::append(LmsQuestionAssociation* association)
{
    if (association)
        m_associations.append(association);
    return association;
}

LmsQuestionAssociation* LmsQuestionActivity::AssociationList::getAssociation(int index) const
{
    return index >= 0 && index < m_associations.size() ? m_associations.at(index) : nullptr;
}

LmsQuestionAssociation* LmsQuestionActivity::AssociationList::take(int index)
{
    return index >= 0 && index < m_associations.size() ? m_associations.takeAt(index) : nullptr;
}

LmsQuestionAssociation* LmsQuestionActivity::AssociationList::take(LmsQuestionAssociation* association)
{
    return take(m_associations.indexOf(association));
}

void LmsQuestionActivity::AssociationList::remove(int index)
{
    delete take(index);
}

void LmsQuestionActivity::AssociationList::remove(LmsQuestionAssociation* association)
{
    delete take(association);
}

void LmsQuestionActivity::AssociationList::clear()
{
    const QList<LmsQuestionAssociation*> associations = m_associations;
    m_associations.clear();
    qDeleteAll(associations);
}

void LmsQuestionActivity::AssociationList::assign(const AssociationList& other)
{
    if (&other == this)
        return;
    clear();
    mp_parent = other.mp_parent;
    for (const LmsQuestionAssociation* association : other.m_associations)
        m_associations.append(association->getCopy());
}

void LmsQuestionActivity::AssociationList::move(int from, int to)
{
    if (from < 0 || from >= m_associations.size() || to < 0)
        return;
    LmsQuestionAssociation* association = m_associations.takeAt(from);
    m_associations.insert(qMin(to > from ? to - 1 : to, m_associations.size()), association);
}

// ---- LmsQuestionActivity

LmsQuestionActivity::LmsQuestionActivity() : LmsQuestionActivity(QString(), QString(), nullptr)
{
}

LmsQuestionActivity::LmsQuestionActivity(const QString& name, const QString& fsName, LmsModuleElement* parent)
    : LmsActivityElement(name, fsName, parent),
      mp_templates(new TemplateMap(this)),
      mp_questions(new QuestionList(this)),
      mp_associations(new AssociationList(this))
{
}

LmsQuestionActivity::~LmsQuestionActivity()
{
    delete mp_associations;
    delete mp_questions;
    delete mp_templates;
}

void LmsQuestionActivity::setIntroText(const QString& text)
{
    if (text == m_introText)
        return;
    m_introText = text;
    emitChanged();
}

void LmsQuestionActivity::setIntroGraphicPath(const QString& path)
{
    const QString stored = getRelativeFilePath(path);
    if (stored == m_introGraphicPath)
        return;
    m_introGraphicPath = stored;
    emitChanged();
}

LmsQuestionActivity::QuestionList LmsQuestionActivity::getQuestionList(LmsQuestionFilter*)
{
    return QuestionList(this);
}

bool LmsQuestionActivity::hasDefaultValue(const QString& type, const QString& key) const
{
    const LmsQuestion* question = getTemplate(type);
    return question && question->hasAttribute(key);
}

QVariant LmsQuestionActivity::getDefaultValue(const QString& type, const QString& key) const
{
    const LmsQuestion* question = getTemplate(type);
    return question ? question->getAttribute(key, false) : QVariant();
}

bool LmsQuestionActivity::hasDefaultTagList(const QString& type) const
{
    const LmsQuestion* question = getTemplate(type);
    return question && question->hasTagList(false);
}

QStringList LmsQuestionActivity::getDefaultTagList(const QString& type) const
{
    const LmsQuestion* question = getTemplate(type);
    return question ? question->getTagList(false) : QStringList();
}

void LmsQuestionActivity::setQuestionAsTemplate(LmsQuestion* question)
{
    if (takeQuestion(question))
        mp_templates->insert(question);
}

void LmsQuestionActivity::clearQuestionSet()
{
    mp_templates->clear();
    mp_questions->clear();
}

void LmsQuestionActivity::assignQestionSet(const LmsQuestionActivity* other)
{
    if (!other || other == this)
        return;
    clearQuestionSet();
    for (const LmsQuestion* question : other->getTemplateMap().getQuestions())
        mp_templates->insert(question->getCopy());
    for (const LmsQuestion* question : other->getQuestionList().getQuestions())
        mp_questions->append(question->getCopy());
}

LmsQuestion* LmsQuestionActivity::appendQuestion()
{
    return mp_questions->append();
}

LmsQuestion* LmsQuestionActivity::takeQuestion(LmsQuestion* question)
{
    if (LmsQuestion* taken = mp_questions->take(question))
        return taken;
    return mp_templates->take(question);
}

void LmsQuestionActivity::removeQuestion(LmsQuestion* question)
{
    delete takeQuestion(question);
}

void LmsQuestionActivity::clearAssociationList()
{
    mp_associations->clear();
}

void LmsQuestionActivity::assignAssociationList(const AssociationList& list)
{
    if (list.getParent() == this)
        mp_associations->assign(list);
}

LmsQuestionAssociation* LmsQuestionActivity::appendQuestionAssociation()
{
    return mp_associations->append();
}

void LmsQuestionActivity::removeQuestionAssociation(LmsQuestionAssociation* association)
{
    mp_associations->remove(association);
}

void LmsQuestionActivity::moveAssociation(int from, int to)
{
    mp_associations->move(from, to);
}

LmsQuestionActivity* LmsQuestionActivity::getSibling(const QString& path) const
{
    const LmsModuleElement* parent = getParentModule();
    return parent ? dynamic_cast<LmsQuestionActivity*>(parent->getElement(path)) : nullptr;
}

int LmsQuestionActivity::getMatchesCount(const LmsQuestionFilter* filter) const
{
    return mp_questions->getMatchesCount(filter);
}

QList<LmsQuestion*> LmsQuestionActivity::getAllMatchedQuestions(const LmsQuestionFilter* filter) const
{
    return mp_questions->getAllMatchedQuestions(filter);
}

QList<LmsQuestion*> LmsQuestionActivity::selectQuestions(const LmsQuestionFilter* filter)
{
    return mp_questions->selectQuestions(filter);
}
