#pragma once

#include "framework/DatabaseTransaction.h"
#include "framework/ElementState.h"
#include "framework/FrameworkModelObserver.h"

#include <QPair>
#include <QVector>

#include <memory>
#include <set>

class LmsActivityElement;
class LmsCourse;
class LmsElement;
class LmsModuleElement;

namespace edufrmwk {

class Database;
class StatisticsEngine;
class UserSession;

// The learner's position in the course: element states kept in step with the database, grade
// unlocking, completion, and the current, next and recommended activity. Main thread only.
// Every state change is written before memory follows it; a change and everything it sets off
// (completion climbing, unlocking) are one transaction, undone in the file and in memory together.
class FrameworkModel {
public:
    using Observer = FrameworkModelObserver;
    enum Notification : unsigned int {
        CourseSet = 1,
        UserSessionSet = 2,
        CurrentModuleChanged = 4,
        CurrentActivityChanged = 8,
    };

    static FrameworkModel* getInstance();
    // A model of its own on the given database (the singleton takes the framework manager's).
    explicit FrameworkModel(Database* db, StatisticsEngine* statisticsEngine = nullptr);
    ~FrameworkModel();
    FrameworkModel(const FrameworkModel&) = delete;
    FrameworkModel& operator=(const FrameworkModel&) = delete;

    void initialize() {}
    void registerObserver(Observer* observer);
    void unregisterObserver(Observer* observer);
    void notifyObservers(unsigned int flag);

    void setCourse(LmsCourse* course, int = 0);
    LmsCourse* getCourse() const { return mp_lmsCourse; }
    UserSession* getUserSession() const { return mp_userSession; }
    LmsModuleElement* getCurrentModule() const { return mp_currentModule; }

    // Takes ownership; a null session ends the current one without touching the database.
    void setUserSession(UserSession* session);
    int syncModuleTree();
    int unlockGrade(LmsModuleElement* grade);
    int setElementState(LmsElement* element, ElementState::state_e state);
    int elementCompleted(LmsElement* element);
    ElementState::state_e getElementState(const LmsElement* element) const;

    LmsActivityElement* getCurrentActivity();
    // Null clears the current activity and the stored selection.
    int setCurrentActivity(LmsActivityElement* activity);
    void setCurrentModule(LmsModuleElement* module);
    int getCompletedActivityCount(const LmsModuleElement* module) const;
    int saveCurrentRating(bool practice);

    LmsActivityElement* getNextActivity(LmsActivityElement* activity);
    LmsActivityElement* findRecommendedActivityInSubject(LmsModuleElement* subject, int from, int to);
    LmsActivityElement* findRecommendedActivityInGrade(LmsModuleElement* grade, int from, int to);
    LmsActivityElement* findRecommendedActivityInRoot(LmsModuleElement* root, int from, int to);

private:
    FrameworkModel();
    int userId() const;
    StatisticsEngine* statisticsEngine() const;
    // An item directly in the course: a grade is unlocked as a grade, an activity on its own.
    int unlockRootItem(LmsElement* item);
    // The first UNLOCKED child in [from, to): an activity is the result, an UNLOCKED module is
    // searched whole with searchInside (skipped without one).
    using ModuleSearch = LmsActivityElement* (FrameworkModel::*)(LmsModuleElement*, int, int);
    LmsActivityElement* findFirstOpen(LmsModuleElement* module, int from, int to, ModuleSearch searchInside);
    void beginChange();
    int endChange(int rc);

    std::set<Observer*> m_observers;
    LmsCourse* mp_lmsCourse;
    UserSession* mp_userSession;
    LmsModuleElement* mp_currentModule;
    LmsActivityElement* mp_currentActivity;
    Database* mp_db;
    StatisticsEngine* mp_statisticsEngine;

    // The change in progress: its savepoint and the states it replaced, for undoing.
    int m_changeDepth = 0;
    bool m_changeFailed = false;
    std::unique_ptr<DatabaseTransaction> mp_change;
    QVector<QPair<ElementState*, ElementState::state_e>> m_journal;
};

}  // namespace edufrmwk
