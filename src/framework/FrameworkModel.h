#pragma once

#include "framework/ElementState.h"
#include "framework/FrameworkModelObserver.h"
#include "framework/PendingRecords.h"

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
// A state change and everything it sets off (completion climbing, unlocking) are written together,
// in one transaction, behind the records kept before them: when the file cannot take them now
// (locked by another program, a full disk) they are kept and memory holds the change; when the
// database refuses them they are undone in memory too.
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
    // A model of its own on the given database, with records kept apart from the framework
    // manager's unless pending is given (the singleton takes the manager's database and records).
    explicit FrameworkModel(Database* db, StatisticsEngine* statisticsEngine = nullptr,
                            PendingRecords* pending = nullptr);
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
    // The skill rating, read when it is saved (after the records kept before it).
    int saveCurrentRating(bool practice);
    PendingRecords* pendingRecords() const { return mp_pending; }

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
    // Saves the writes through the kept records; false when the database refused them.
    bool write(const QList<PendingRecords::StateWrite>& writes);

    std::set<Observer*> m_observers;
    LmsCourse* mp_lmsCourse;
    UserSession* mp_userSession;
    LmsModuleElement* mp_currentModule;
    LmsActivityElement* mp_currentActivity;
    Database* mp_db;
    StatisticsEngine* mp_statisticsEngine;

    // The states in memory were read from the file at login (not guessed after a failed read).
    bool m_synced = false;
    PendingRecords m_ownPending;
    PendingRecords* mp_pending;

    // The change in progress: its writes and the states it replaced, for undoing.
    int m_changeDepth = 0;
    bool m_changeFailed = false;
    QList<PendingRecords::StateWrite> m_writes;
    QVector<QPair<ElementState*, ElementState::state_e>> m_journal;
};

}  // namespace edufrmwk
