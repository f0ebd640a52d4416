#include "app/facades/QmlFacadeCourse.h"

#include "app/facades/ProgramRestart.h"
#include "app/facades/QmlFacadeCourseItem.h"
#include "app/facades/QmlFacadeCourseModel.h"
#include "debug/Debugging.h"
#include "framework/Database.h"
#include "framework/FrameworkManager.h"
#include "framework/FrameworkModel.h"
#include "lms/LmsActivityElement.h"
#include "lms/LmsCourse.h"

#include <QFile>
#include <QMap>

using edufrmwk::FrameworkManager;
using edufrmwk::FrameworkModel;

namespace {

const char* const Channel = "qml-course";

QMap<LmsElement*, QmlFacadeCourseItem*> g_courseElementToFacadeItemMap;

QByteArray pathText(const LmsElement* element)
{
    return element ? element->getNormalizedElementPath().toUtf8() : QByteArray();
}

// Activities anywhere below the module: the denominator of its completion percentage.
int activityCount(const LmsModuleElement* module)
{
    int count = 0;
    for (const LmsElement* child : module->getElementList()) {
        if (const auto* sub = dynamic_cast<const LmsModuleElement*>(child))
            count += activityCount(sub);
        else if (dynamic_cast<const LmsActivityElement*>(child))
            ++count;
    }
    return count;
}

QList<LmsModuleElement*> allModules()
{
    QList<LmsModuleElement*> modules;
    if (LmsCourse* course = FrameworkModel::getInstance()->getCourse())
        course->findElementsByType(modules);
    return modules;
}

bool isLocked(const QmlFacadeCourseItem* item)
{
    return FrameworkModel::getInstance()->getElementState(item->element()) == ElementState::LOCKED;
}

}  // namespace

QmlFacadeCourse* QmlFacadeCourse::mp_instance = nullptr;

QmlFacadeCourse* QmlFacadeCourse::instance()
{
    if (!mp_instance)
        mp_instance = new QmlFacadeCourse();
    return mp_instance;
}

QmlFacadeCourse::QmlFacadeCourse()
    : QObject(nullptr)
    , mp_model(nullptr)
    , mp_rootItem(nullptr)
    , mp_currentModule(nullptr)
    , mp_currentActivity(nullptr)
    , m_isInitialActivity(false)
    , m_isNewModule(false)
    , m_moduleCompletionPercentage(0)
{
    LOG_INFO(Channel, "building qml course facade...");
    FrameworkModel* frameworkModel = FrameworkModel::getInstance();
    LmsCourse* course = frameworkModel->getCourse();
    BRISOLA_ASSERT(course);
    if (course) {
        mp_rootItem = new QmlFacadeCourseItem(course, nullptr);
        buildCourseModel(course, mp_rootItem, 0);
    }
    // Nothing may be current (everything completed, or nothing unlocked). The activity is read
    // first: restoring it from the records also sets the module.
    LmsActivityElement* activity = frameworkModel->getCurrentActivity();
    if (LmsModuleElement* module = frameworkModel->getCurrentModule())
        mp_currentModule = courseElementToFacadeItem(module);
    if (activity)
        mp_currentActivity = courseElementToFacadeItem(activity);
    mp_model = new QmlFacadeCourseModel(mp_rootItem, nullptr);
    updateState();
}

void buildCourseModel(LmsModuleElement* module, QmlFacadeCourseItem* parent, int depth)
{
    LOG_TRACE(Channel, "processing module %s", pathText(module).constData());
    const QList<LmsElement*>& elements = module->getElementList();
    for (int idx = 0; idx < elements.size(); ++idx) {
        LmsElement* element = elements.at(idx);
        if (!element) {
            LOG_FATAL(Channel, "unexpected element (depth=%d idx=%lu)", depth, static_cast<unsigned long>(idx));
            continue;
        }
        auto* item = new QmlFacadeCourseItem(element, parent);
        g_courseElementToFacadeItemMap.insert(element, item);
        if (auto* child = dynamic_cast<LmsModuleElement*>(element))
            buildCourseModel(child, item, depth + 1);
        else if (dynamic_cast<LmsActivityElement*>(element))
            LOG_TRACE(Channel, "processing activity %s", item->fsPath().toUtf8().constData());
        else
            LOG_FATAL(Channel, "unexpected element (depth=%d idx=%lu)", depth, static_cast<unsigned long>(idx));
    }
}

QmlFacadeCourseItem* courseElementToFacadeItem(LmsElement* element)
{
    QmlFacadeCourseItem* item = g_courseElementToFacadeItemMap.value(element, nullptr);
    if (!item)
        LOG_FATAL(Channel, "failed to map element to facade course item (name=%s)", pathText(element).constData());
    return item;
}

void QmlFacadeCourse::selectInFrameworkModel(QmlFacadeCourseItem* item)
{
    FrameworkModel::getInstance()->setCurrentActivity(
        item ? dynamic_cast<LmsActivityElement*>(item->element()) : nullptr);
}

void QmlFacadeCourse::updateState()
{
    LOG_ENTRY(Channel);
    if (mp_model)
        mp_model->update();
    FrameworkModel* frameworkModel = FrameworkModel::getInstance();
    const LmsCourse* course = frameworkModel->getCourse();
    const LmsModuleElement* module = frameworkModel->getCurrentModule();
    m_isInitialActivity = course && frameworkModel->getCompletedActivityCount(course) == 0;
    m_isNewModule = false;
    m_moduleCompletionPercentage = 0;
    // Without a current module (nothing open, or everything done) the module summaries stay 0.
    if (module) {
        const int completed = frameworkModel->getCompletedActivityCount(module);
        const int activities = activityCount(module);
        m_isNewModule = completed == 0;
        if (activities > 0)
            m_moduleCompletionPercentage = static_cast<int>(completed / static_cast<double>(activities) * 100.0);
    }
    LOG_TRACE(Channel, "isInitial=%d newModule=%d completion=%d", m_isInitialActivity, m_isNewModule,
              m_moduleCompletionPercentage);
    emit isNewModuleChanged();
    emit isInitialActivityChanged();
    emit moduleCompletionPercentageChanged();
}

void QmlFacadeCourse::setCurrentActivity(QmlFacadeCourseItem* activity)
{
    LOG_ENTRY(Channel);
    if (!activity || !activity->parent() || activity == mp_currentActivity)
        return;
    mp_currentActivity = activity;
    // A module item clears the framework model's current activity.
    selectInFrameworkModel(activity);
    if (activity->parent() != mp_currentModule) {
        mp_currentModule = activity->parent();
        LOG_DEBUG(Channel, "current module changed");
        LOG_DEBUG(Channel, "current activity changed");
        emit currentModuleChanged();
    } else {
        LOG_DEBUG(Channel, "current activity changed");
    }
    emit currentActivityChanged();
    updateState();
}

void QmlFacadeCourse::nextActivity()
{
    LOG_ENTRY(Channel);
    if (!mp_currentActivity || !mp_currentModule) {
        LOG_WARN(Channel, "no current activity; nothing to move on from");
        return;
    }
    const int r = mp_currentActivity->row() + 1;
    if (r < mp_currentModule->childCount()) {
        // Completing an activity opens its next sibling; moving on must not open it for free.
        QmlFacadeCourseItem* next = mp_currentModule->child(r);
        if (next && isLocked(next)) {
            LOG_INFO(Channel, "%s is locked; staying on %s", pathText(next->element()).constData(),
                     pathText(mp_currentActivity->element()).constData());
        } else if (next) {
            mp_currentActivity = next;
            selectInFrameworkModel(mp_currentActivity);
            emit currentActivityChanged();
        }
    } else {
        auto* activity = dynamic_cast<LmsActivityElement*>(mp_currentActivity->element());
        LmsActivityElement* next = activity ? FrameworkModel::getInstance()->getNextActivity(activity) : nullptr;
        QmlFacadeCourseItem* item = next ? courseElementToFacadeItem(next) : nullptr;
        BRISOLA_ASSERT(item != NULL);
        if (item)
            setCurrentActivity(item);
    }
    updateState();
}

void QmlFacadeCourse::previousActivity()
{
    LOG_ENTRY(Channel);
    if (!mp_currentActivity || !mp_currentModule) {
        LOG_WARN(Channel, "no current activity; nothing to move back from");
        return;
    }
    const int r = mp_currentActivity->row();
    QmlFacadeCourseItem* previous = r > 0 ? mp_currentModule->child(r - 1) : nullptr;
    if (previous && isLocked(previous)) {
        LOG_INFO(Channel, "%s is locked; staying on %s", pathText(previous->element()).constData(),
                 pathText(mp_currentActivity->element()).constData());
    } else if (previous) {
        mp_currentActivity = previous;
        selectInFrameworkModel(mp_currentActivity);
        emit currentActivityChanged();
    }
    updateState();
}

int QmlFacadeCourse::lockedGradeCount() const
{
    LOG_ENTRY(Channel);
    FrameworkModel* frameworkModel = FrameworkModel::getInstance();
    int locked = 0;
    for (const LmsModuleElement* module : allModules()) {
        if (module->getDepth() == 2 && frameworkModel->getElementState(module) == ElementState::LOCKED)
            ++locked;
    }
    return locked > 0 ? locked - 1 : 0;
}

void QmlFacadeCourse::unlockNextGrade()
{
    LOG_ENTRY(Channel);
    FrameworkModel* frameworkModel = FrameworkModel::getInstance();
    for (LmsModuleElement* module : allModules()) {
        if (module->getDepth() == 2 && frameworkModel->getElementState(module) == ElementState::LOCKED) {
            LOG_INFO(Channel, "unlocking %s", pathText(module).constData());
            frameworkModel->unlockGrade(module);
            break;
        }
    }
    emit modelChanged();
    updateState();
}

void QmlFacadeCourse::unlockAllContent()
{
    LOG_ENTRY(Channel);
    FrameworkModel* frameworkModel = FrameworkModel::getInstance();
    QList<LmsElement*> elements;
    if (LmsCourse* course = frameworkModel->getCourse())
        course->findElementsByType(elements);
    for (LmsElement* element : qAsConst(elements)) {
        if (frameworkModel->getElementState(element) == ElementState::LOCKED) {
            LOG_INFO(Channel, "unlocking %s", pathText(element).constData());
            frameworkModel->setElementState(element, ElementState::UNLOCKED);
        }
    }
    emit modelChanged();
    updateState();
}

void QmlFacadeCourse::resetAllState()
{
    LOG_ENTRY(Channel);
    FrameworkManager* manager = FrameworkManager::getInstance();
    const QString path = manager->m_dbPath;
    const QByteArray pathBytes = path.toUtf8();
    if (!path.endsWith(QLatin1String(".db"))) {
        LOG_INFO(Channel, "invalid database filename %s", pathBytes.constData());
        return;
    }
    LOG_INFO(Channel, "deleting %s", pathBytes.constData());
    // An open connection would keep writing into the unlinked file (and its journal) until exit.
    if (manager->mp_database)
        manager->mp_database->closeDb();
    if (QFile::exists(path) && !QFile::remove(path)) {
        LOG_ERROR(Channel, "failed to remove %s", pathBytes.constData());
        if (manager->mp_database)
            manager->mp_database->initialize(path);  // the run goes on with its current state
        return;
    }
    // A journal left beside a fresh file could be played back into it.
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        const QString companion = path + QLatin1String(suffix);
        if (QFile::exists(companion) && !QFile::remove(companion))
            LOG_ERROR(Channel, "failed to remove %s", companion.toUtf8().constData());
    }
    if (!ProgramRestart::request() && manager->mp_database)
        manager->mp_database->initialize(path);  // no restart: go on with a fresh, open database
}
