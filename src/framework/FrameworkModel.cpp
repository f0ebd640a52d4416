#include "framework/FrameworkModel.h"

#include "debug/Debugging.h"
#include "framework/Database.h"
#include "framework/DatabaseTransaction.h"
#include "framework/FrameworkManager.h"
#include "framework/StatisticsEngine.h"
#include "framework/UserSession.h"
#include "lms/LmsActivityElement.h"
#include "lms/LmsCourse.h"

#include <QHash>

#include <vector>

namespace edufrmwk {

namespace {

ElementState* stateObject(const LmsElement* element)
{
    return element ? dynamic_cast<ElementState*>(element->getState()) : nullptr;
}

QByteArray pathText(const LmsElement* element)
{
    return element ? element->getNormalizedElementPath().toUtf8() : QByteArray();
}

bool isModule(const LmsElement* element)
{
    return element && element->getElementType() == LmsElement::ElementTypeModule;
}

}  // namespace

FrameworkModel* FrameworkModel::getInstance()
{
    static FrameworkModel* const instance = new FrameworkModel();
    return instance;
}

FrameworkModel::FrameworkModel()
    : FrameworkModel(nullptr, nullptr, &FrameworkManager::getInstance()->pendingRecords())
{
    mp_db = FrameworkManager::getInstance()->mp_database;
}

FrameworkModel::FrameworkModel(Database* db, StatisticsEngine* statisticsEngine, PendingRecords* pending)
    : mp_lmsCourse(nullptr)
    , mp_userSession(nullptr)
    , mp_currentModule(nullptr)
    , mp_currentActivity(nullptr)
    , mp_db(db)
    , mp_statisticsEngine(statisticsEngine)
    , mp_pending(pending ? pending : &m_ownPending)
{
    m_ownPending.setRatingSource([this](SkillRating& rating) {
        StatisticsEngine* engine = this->statisticsEngine();
        return engine && engine->readSkillRating(rating);
    });
}

FrameworkModel::~FrameworkModel()
{
    m_observers.clear();
    delete mp_userSession;
}

int FrameworkModel::userId() const
{
    return mp_userSession ? mp_userSession->getUserId() : 0;
}

StatisticsEngine* FrameworkModel::statisticsEngine() const
{
    return mp_statisticsEngine ? mp_statisticsEngine : FrameworkManager::getInstance()->mp_statisticsEngine;
}

// ---- observers -----------------------------------------------------------------------------------

void FrameworkModel::registerObserver(Observer* observer)
{
    if (observer)
        m_observers.insert(observer);
}

void FrameworkModel::unregisterObserver(Observer* observer)
{
    m_observers.erase(observer);
}

void FrameworkModel::notifyObservers(unsigned int flag)
{
    // A copy: an observer may unregister itself while being told.
    const std::set<Observer*> observers = m_observers;
    for (Observer* observer : observers) {
        if (observer->getFlags() & flag)
            observer->frameworkModelChanged(this, flag);
    }
}

// ---- course and session --------------------------------------------------------------------------

void FrameworkModel::setCourse(LmsCourse* course, int)
{
    BRISOLA_ASSERT(!mp_lmsCourse);
    mp_lmsCourse = course;
    notifyObservers(CourseSet);
}

void FrameworkModel::setUserSession(UserSession* session)
{
    if (mp_userSession != session)
        delete mp_userSession;
    mp_userSession = session;

    if (!session) {
        // Logged out: nothing is current any more, and nothing is written.
        mp_currentActivity = nullptr;
        mp_currentModule = nullptr;
        notifyObservers(UserSessionSet);
        return;
    }
    BRISOLA_ASSERT(mp_lmsCourse);
    BRISOLA_ASSERT(mp_db);
    if (!mp_lmsCourse || !mp_db) {
        notifyObservers(UserSessionSet);
        return;
    }
    mp_currentActivity = nullptr;
    mp_currentModule = nullptr;

    // The whole first login is one transaction: one write to the disk, not one per element.
    DatabaseTransaction login(mp_db);
    syncModuleTree();

    BRISOLA_ASSERT(mp_lmsCourse->getElementList().size() > 0);
    if (!mp_lmsCourse->getElementList().isEmpty())
        unlockRootItem(mp_lmsCourse->getElementList().first());

    if (!getCurrentActivity()) {
        LmsActivityElement* activity =
            findRecommendedActivityInRoot(mp_lmsCourse, 0, mp_lmsCourse->getElementList().size());
        if (activity) {
            mp_currentModule = activity->getParentModule();
            notifyObservers(CurrentModuleChanged);
            setCurrentActivity(activity);
            LOG_INFO("fmwk", "setting initial activity to %s/%s", pathText(mp_currentModule).constData(),
                     pathText(activity).constData());
        } else {
            LOG_FATAL("fmwk", "cannot set initial recommended activity");
        }
    }
    if (!login.commit())
        LOG_ERROR("fmwk", "the states of this login were not stored; the next login makes them again");
    notifyObservers(UserSessionSet);
}

int FrameworkModel::syncModuleTree()
{
    BRISOLA_ASSERT(mp_lmsCourse);
    BRISOLA_ASSERT(mp_db);
    if (!mp_lmsCourse || !mp_db)
        return RC_DB_ERROR;
    const int user = userId();

    // Every stored state of the user in one read, rather than one query per element.
    QHash<QString, ElementState::state_e> stored;
    bool readOk = false;
    {
        Database::Query q(mp_db);
        q.exec("SELECT path, state FROM element_state WHERE user_id = %d", user);
        readOk = q.isOK();
        QString path, state;
        for (unsigned long row = 0; row < q.numRows(); ++row) {
            BRISOLA_ASSERT(q.getValue(row, "path", path));
            BRISOLA_ASSERT(q.getValue(row, "state", state));
            stored.insert(path, ElementState::strToState(state));
        }
    }
    int result = readOk ? RC_OK : RC_DB_ERROR;
    m_synced = readOk;
    BRISOLA_ASSERT(result == RC_OK);

    DatabaseTransaction transaction(mp_db);
    std::vector<LmsElement*> stack{mp_lmsCourse};
    while (!stack.empty()) {
        LmsElement* element = stack.back();
        stack.pop_back();
        if (!element)
            continue;
        if (auto* module = dynamic_cast<LmsModuleElement*>(element)) {
            const QList<LmsElement*>& children = module->getElementList();
            for (int i = children.size() - 1; i >= 0; --i)
                stack.push_back(children.at(i));
        }

        ElementState* state = stateObject(element);
        if (!state) {
            LOG_WARN("fmwk", "%s had no state object", pathText(element).constData());
            state = new ElementState(element);  // lives as long as the element, like every state object
        }
        const QString path = element->getNormalizedElementPath();
        const auto found = stored.constFind(path);
        if (found != stored.constEnd()) {
            state->setState(found.value());
            continue;
        }
        state->setState(ElementState::LOCKED);
        // When the stored states could not be read, nothing is written over them; after one refused
        // write the file refuses the rest too, and one report is enough.
        if (result == RC_OK) {
            const int rc = mp_db->saveElementState(user, path, ElementState::LOCKED);
            BRISOLA_ASSERT(rc == RC_OK);
            result = rc;
        }
    }
    if (!transaction.commit() && result == RC_OK)
        result = RC_DB_ERROR;
    return result;
}

// ---- state changes -------------------------------------------------------------------------------

void FrameworkModel::beginChange()
{
    if (m_changeDepth++ > 0)
        return;
    m_changeFailed = false;
    m_journal.clear();
    m_writes.clear();
}

bool FrameworkModel::write(const QList<PendingRecords::StateWrite>& writes)
{
    if (writes.isEmpty())
        return true;
    const PendingRecords::Record record = PendingRecords::states(userId(), writes);
    // States that could not be read at login are guesses: kept for later they would overwrite
    // what the file holds, so they are written now or not at all.
    const PendingRecords::Outcome outcome = m_synced ? mp_pending->save(mp_db, {record})
                                                     : mp_pending->saveUnkept(mp_db, record);
    if (outcome == PendingRecords::Kept)
        LOG_WARN("fmwk", "state change kept: the learner database cannot take it now");
    return outcome != PendingRecords::Refused;
}

int FrameworkModel::endChange(int rc)
{
    if (rc != RC_OK)
        m_changeFailed = true;
    if (--m_changeDepth > 0)
        return rc;

    if (!m_changeFailed && !write(m_writes)) {
        // refused by the database itself (not merely blocked): a fault, reported as such
        m_changeFailed = true;
        rc = RC_DB_ERROR;
        BRISOLA_ASSERT(rc == RC_OK);
    }
    if (m_changeFailed) {
        // Memory goes back to what the file holds.
        for (int i = m_journal.size() - 1; i >= 0; --i)
            m_journal[i].first->setState(m_journal[i].second);
        LOG_ERROR("fmwk", "state change undone: %d element(s) kept their previous state", m_journal.size());
        if (rc == RC_OK)
            rc = RC_DB_ERROR;
    }
    m_journal.clear();
    m_writes.clear();
    return rc;
}

ElementState::state_e FrameworkModel::getElementState(const LmsElement* element) const
{
    const ElementState* state = stateObject(element);
    BRISOLA_ASSERT(state);
    return state ? state->getState() : ElementState::INVALID;
}

int FrameworkModel::setElementState(LmsElement* element, ElementState::state_e state)
{
    BRISOLA_ASSERT(element);
    if (!element)
        return RC_DB_ERROR;
    const QByteArray path = pathText(element);
    LOG_DEBUG("fmwk", "state change (%s) : %s\n", path.constData(),
              ElementState::stateToStr(state).toLatin1().constData());

    ElementState* stateObj = stateObject(element);
    BRISOLA_ASSERT(stateObj);
    if (!stateObj)
        return RC_DB_ERROR;
    if (stateObj->getState() == state)
        return RC_OK;
    BRISOLA_ASSERT(mp_db);
    BRISOLA_ASSERT(mp_userSession);
    if (!mp_db || !mp_userSession)
        return RC_DB_ERROR;

    beginChange();
    m_writes.append({element->getNormalizedElementPath(), state, false});
    m_journal.append(qMakePair(stateObj, stateObj->getState()));
    stateObj->setState(state);
    int rc = RC_OK;
    if (state == ElementState::COMPLETED)
        rc = elementCompleted(element);
    return endChange(rc);
}

int FrameworkModel::unlockRootItem(LmsElement* item)
{
    if (isModule(item))
        return unlockGrade(static_cast<LmsModuleElement*>(item));
    // An activity lying in the course itself opens like the next activity of a subject.
    if (item && getElementState(item) == ElementState::LOCKED)
        return setElementState(item, ElementState::UNLOCKED);
    return RC_OK;
}

int FrameworkModel::unlockGrade(LmsModuleElement* grade)
{
    if (!grade)
        return RC_OK;
    if (!isModule(grade)) {
        LOG_WARN("fmwk", "%s is not a grade; not unlocked as one", pathText(grade).constData());
        return RC_OK;
    }
    if (getElementState(grade) != ElementState::LOCKED)
        return RC_OK;

    beginChange();
    int rc = RC_OK;
    for (LmsElement* child : grade->getElementList()) {
        auto* module = isModule(child) ? static_cast<LmsModuleElement*>(child) : nullptr;
        if (!module || module->getElementList().isEmpty())
            continue;
        rc = setElementState(module, ElementState::UNLOCKED);
        if (rc == RC_OK)
            rc = setElementState(module->getElementList().first(), ElementState::UNLOCKED);
        if (rc != RC_OK)
            break;
    }
    if (rc == RC_OK)
        rc = setElementState(grade, ElementState::UNLOCKED);
    return endChange(rc);
}

int FrameworkModel::elementCompleted(LmsElement* element)
{
    if (!element)
        return RC_OK;
    LmsModuleElement* parent = element->getParentModule();
    if (!parent)
        return RC_OK;

    beginChange();
    int rc = RC_OK;
    const auto* activity = dynamic_cast<const LmsActivityElement*>(element);
    const bool inSubjectOrDeeper = parent->getParentModule() && parent->getParentModule()->getParentModule();
    bool allCompleted = true;
    for (LmsElement* child : parent->getElementList())
        allCompleted = allCompleted && child && getElementState(child) == ElementState::COMPLETED;

    if (activity && activity->getActivityType() == LmsActivityElement::ActivityTypeTest && inSubjectOrDeeper) {
        // A completed test completes its subject, whatever else is open there.
        rc = setElementState(parent, ElementState::COMPLETED);
    } else if (allCompleted) {
        rc = setElementState(parent, ElementState::COMPLETED);
    } else {
        const QList<LmsElement*>& siblings = parent->getElementList();
        const int index = siblings.indexOf(element);
        if (index >= 0 && index + 1 < siblings.size()) {
            LmsElement* next = siblings.at(index + 1);
            if (!parent->getParentModule())
                rc = unlockRootItem(next);
            else if (next && getElementState(next) == ElementState::LOCKED)
                rc = setElementState(next, ElementState::UNLOCKED);
        }
    }
    return endChange(rc);
}

// ---- current activity ----------------------------------------------------------------------------

LmsActivityElement* FrameworkModel::getCurrentActivity()
{
    if (mp_currentActivity)
        return mp_currentActivity;
    if (!mp_db || !mp_userSession || !mp_lmsCourse)
        return nullptr;
    const QString path = mp_db->getSelectedElement(userId());
    const QByteArray text = path.toUtf8();
    LOG_INFO("fmwk", "loading current activity: %s", text.constData());
    if (path.isEmpty())
        return nullptr;
    auto* activity = dynamic_cast<LmsActivityElement*>(mp_lmsCourse->findElementByNormalizedPath(path));
    if (!activity) {
        mp_currentActivity = nullptr;
        LOG_WARN("fmwk", "looks like %s has disappeared; perhaps the content was updated?", text.constData());
        return nullptr;
    }
    mp_currentActivity = activity;
    mp_currentModule = activity->getParentModule();
    return activity;
}

int FrameworkModel::setCurrentActivity(LmsActivityElement* activity)
{
    mp_currentActivity = activity;
    LOG_INFO("fmwk", "saving current activity: %s", pathText(activity).constData());
    int rc = RC_OK;
    if (mp_db && mp_userSession) {
        // Kept like a state change when the file cannot take it now.
        PendingRecords::StateWrite selection{activity ? activity->getNormalizedElementPath() : QString(),
                                             ElementState::INVALID, true};
        rc = write({selection}) ? RC_OK : RC_DB_ERROR;
        BRISOLA_ASSERT(rc == RC_OK);
    }
    if (activity && activity->getParentModule() != mp_currentModule) {
        mp_currentModule = activity->getParentModule();
        notifyObservers(CurrentModuleChanged);
    }
    notifyObservers(CurrentActivityChanged);
    return rc;
}

void FrameworkModel::setCurrentModule(LmsModuleElement* module)
{
    mp_currentModule = module;
    notifyObservers(CurrentModuleChanged);
}

int FrameworkModel::getCompletedActivityCount(const LmsModuleElement* module) const
{
    if (!module)
        return 0;
    int count = 0;
    for (const LmsElement* child : module->getElementList()) {
        if (!child)
            continue;
        if (isModule(child))
            count += getCompletedActivityCount(static_cast<const LmsModuleElement*>(child));
        else if (child->getElementType() == LmsElement::ElementTypeActivity
                 && getElementState(child) == ElementState::COMPLETED)
            ++count;
    }
    return count;
}

int FrameworkModel::saveCurrentRating(bool practice)
{
    StatisticsEngine* engine = statisticsEngine();
    BRISOLA_ASSERT(engine);
    BRISOLA_ASSERT(mp_db);
    if (!engine || !mp_db)
        return RC_DB_ERROR;
    const PendingRecords::Outcome outcome =
        mp_pending->save(mp_db, {PendingRecords::ratingMeasuredAtSave(userId(), practice)});
    return outcome == PendingRecords::Saved ? RC_OK : RC_DB_ERROR;
}

// ---- next and recommended activity ---------------------------------------------------------------

LmsActivityElement* FrameworkModel::findFirstOpen(LmsModuleElement* module, int from, int to,
                                                  ModuleSearch searchInside)
{
    if (!module)
        return nullptr;
    const QList<LmsElement*>& children = module->getElementList();
    from = qMax(from, 0);
    to = qMin(to, children.size());
    for (int i = from; i < to; ++i) {
        LmsElement* child = children.at(i);
        if (!child || getElementState(child) != ElementState::UNLOCKED)
            continue;
        if (isModule(child)) {
            auto* inner = static_cast<LmsModuleElement*>(child);
            if (!searchInside)
                continue;
            if (LmsActivityElement* found = (this->*searchInside)(inner, 0, inner->getElementList().size()))
                return found;
        } else if (auto* activity = dynamic_cast<LmsActivityElement*>(child)) {
            // In the course itself too: the loader allows activities there, and they are offered like others.
            return activity;
        }
    }
    return nullptr;
}

LmsActivityElement* FrameworkModel::findRecommendedActivityInSubject(LmsModuleElement* subject, int from, int to)
{
    return findFirstOpen(subject, from, to, nullptr);
}

LmsActivityElement* FrameworkModel::findRecommendedActivityInGrade(LmsModuleElement* grade, int from, int to)
{
    return findFirstOpen(grade, from, to, &FrameworkModel::findRecommendedActivityInSubject);
}

LmsActivityElement* FrameworkModel::findRecommendedActivityInRoot(LmsModuleElement* root, int from, int to)
{
    return findFirstOpen(root, from, to, &FrameworkModel::findRecommendedActivityInGrade);
}

LmsActivityElement* FrameworkModel::getNextActivity(LmsActivityElement* activity)
{
    LOG_ENTRY("fmwk");
    BRISOLA_ASSERT(activity);
    if (!activity)
        return nullptr;

    LmsModuleElement* parent = activity->getParentModule();
    LmsModuleElement* grandParent = parent ? parent->getParentModule() : nullptr;
    LmsModuleElement* greatGrandParent = grandParent ? grandParent->getParentModule() : nullptr;
    LmsModuleElement* subjectModule = nullptr;
    LmsModuleElement* gradeModule = nullptr;
    LmsModuleElement* rootModule = nullptr;
    if (parent && grandParent && greatGrandParent) {
        subjectModule = parent;
        gradeModule = grandParent;
        rootModule = greatGrandParent;
    } else if (parent && grandParent) {
        gradeModule = parent;
        rootModule = grandParent;
    } else if (parent) {
        // An activity in the course itself: only the whole-course search applies.
        rootModule = parent;
    } else {
        // Outside any course (the practice activity): neither a grade nor a course to search.
        BRISOLA_ASSERT(gradeModule);
        BRISOLA_ASSERT(rootModule);
        return nullptr;
    }

    if (gradeModule) {
        if (subjectModule) {
            const int activityIndex = subjectModule->getElementList().indexOf(activity);
            BRISOLA_ASSERT(activityIndex != -1);
            if (LmsActivityElement* found = findRecommendedActivityInSubject(subjectModule, activityIndex + 1,
                                                                             subjectModule->getElementList().size()))
                return found;
        }
        LmsElement* item = subjectModule ? static_cast<LmsElement*>(subjectModule) : activity;
        const int gradeItemIndex = gradeModule->getElementList().indexOf(item);
        BRISOLA_ASSERT(gradeItemIndex != -1);
        LmsActivityElement* after =
            findRecommendedActivityInGrade(gradeModule, gradeItemIndex + 1, gradeModule->getElementList().size());
        if (after && after->getActivityType() != LmsActivityElement::ActivityTypeTest)
            return after;
        if (LmsActivityElement* before = findRecommendedActivityInGrade(gradeModule, 0, gradeItemIndex))
            return before;
        if (after)
            return after;
    }

    if (LmsActivityElement* anywhere = findRecommendedActivityInRoot(rootModule, 0, rootModule->getElementList().size()))
        return anywhere;
    LOG_INFO("fmwk", "finished all content!");
    return nullptr;
}

}  // namespace edufrmwk
