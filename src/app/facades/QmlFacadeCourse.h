#pragma once

#include <QObject>

class LmsElement;
class LmsModuleElement;
class QmlFacadeCourseItem;
class QmlFacadeCourseModel;

// What the screens see of the course: the item tree, the current module and activity, three
// progress summaries, navigation, unlocking and the reset of all progress. Every state goes
// through the framework model. A singleton built on first use, after the learner has logged in.
class QmlFacadeCourse : public QObject {
    Q_OBJECT
    Q_PROPERTY(QmlFacadeCourseModel* model READ model NOTIFY modelChanged)
    Q_PROPERTY(QmlFacadeCourseItem* rootItem READ rootItem NOTIFY rootItemChanged)
    Q_PROPERTY(QmlFacadeCourseItem* currentModule READ currentModule NOTIFY currentModuleChanged)
    Q_PROPERTY(QmlFacadeCourseItem* currentActivity READ currentActivity NOTIFY currentActivityChanged)
    Q_PROPERTY(bool isInitialActivity READ isInitialActivity NOTIFY isInitialActivityChanged)
    Q_PROPERTY(bool isNewModule READ isNewModule NOTIFY isNewModuleChanged)
    Q_PROPERTY(int moduleCompletionPercentage READ moduleCompletionPercentage NOTIFY moduleCompletionPercentageChanged)
    Q_PROPERTY(int lockedGradeCount READ lockedGradeCount NOTIFY modelChanged)

public:
    static QmlFacadeCourse* instance();
    ~QmlFacadeCourse() override = default;

    QmlFacadeCourseModel* model() const { return mp_model; }
    QmlFacadeCourseItem* rootItem() const { return mp_rootItem; }
    QmlFacadeCourseItem* currentModule() const { return mp_currentModule; }
    QmlFacadeCourseItem* currentActivity() const { return mp_currentActivity; }
    bool isInitialActivity() const { return m_isInitialActivity; }
    bool isNewModule() const { return m_isNewModule; }
    int moduleCompletionPercentage() const { return m_moduleCompletionPercentage; }
    int lockedGradeCount() const;

    Q_INVOKABLE void setCurrentActivity(QmlFacadeCourseItem* activity);
    Q_INVOKABLE void nextActivity();
    Q_INVOKABLE void previousActivity();
    Q_INVOKABLE void unlockNextGrade();
    Q_INVOKABLE void unlockAllContent();
    Q_INVOKABLE void resetAllState();

    void updateState();

signals:
    void modelChanged();
    void rootItemChanged();
    void currentModuleChanged();
    void currentActivityChanged();
    void isInitialActivityChanged();
    void isNewModuleChanged();
    void moduleCompletionPercentageChanged();

private:
    QmlFacadeCourse();
    // Makes item the framework model's current activity (none for an item that is no activity).
    static void selectInFrameworkModel(QmlFacadeCourseItem* item);

    static QmlFacadeCourse* mp_instance;

    QmlFacadeCourseModel* mp_model;
    QmlFacadeCourseItem* mp_rootItem;
    QmlFacadeCourseItem* mp_currentModule;
    QmlFacadeCourseItem* mp_currentActivity;
    bool m_isInitialActivity;
    bool m_isNewModule;
    int m_moduleCompletionPercentage;
};

void buildCourseModel(LmsModuleElement* module, QmlFacadeCourseItem* parent, int depth);
QmlFacadeCourseItem* courseElementToFacadeItem(LmsElement* element);
