#pragma once

#include "lms/LmsQuestionActivity.h"

#include <QDate>
#include <QList>
#include <QObject>
#include <QString>

#include <random>

class LmsQuestionActivity;
class PracticeGroup;
class PracticeGroupModel;
class QmlFacadeCourseItem;

// Practice mode: the course's exercises arranged as groups (subjects) of items (exercise kinds),
// the recommended ones preselected, and a question activity of its own ("#practice#") whose
// questions are drawn from the selected items, weighted towards the learner's weakest variants.
class QmlFacadePractice : public QObject {
    Q_OBJECT
    Q_PROPERTY(PracticeGroupModel* model READ model NOTIFY modelChanged)
    Q_PROPERTY(QmlFacadeCourseItem* activity READ activity NOTIFY activityChanged)
    Q_PROPERTY(int totalSessions READ totalSessions NOTIFY statsChanged)
    Q_PROPERTY(int totalSkillPoints READ totalSkillPoints NOTIFY statsChanged)
    Q_PROPERTY(int lastPracticePoints READ lastPracticePoints NOTIFY statsChanged)
    Q_PROPERTY(QDate lastPracticeDate READ lastPracticeDate NOTIFY statsChanged)

public:
    explicit QmlFacadePractice(QObject* parent = nullptr);
    ~QmlFacadePractice() override;

    PracticeGroupModel* model() const { return mp_model; }
    QmlFacadeCourseItem* activity() const { return mp_activity; }
    int totalSessions() const { return m_totalSessions; }
    int totalSkillPoints() const { return m_totalSkillPoints; }
    int lastPracticePoints() const;
    QDate lastPracticeDate() const { return m_lastPracticeDate; }
    const QList<PracticeGroup*>& groups() const { return m_groups; }

    Q_INVOKABLE void load(QString targetGrade = QString(), int count = 10, bool selectRecommended = true);
    Q_INVOKABLE bool prepare(int count, bool intelligent);
    Q_INVOKABLE void updateStats();

    PracticeGroup* findGroup(const QString& name);
    void reset();
    int getTotalSelectedItems() const;
    void buildRoleItemModel();
    void dumpModel() const;
    void prepareAssociations(int count, LmsQuestionActivity::AssociationList& list);
    void dumpAssociations(const LmsQuestionActivity::AssociationList& list) const;

    // Every random draw of the selection comes from here; tests seed it to fix the draws.
    void setRandomSeed(quint32 seed) { m_random.seed(seed); }
    double drand(double min, double max);

signals:
    void modelChanged();
    void activityChanged();
    void statsChanged();

private:
    QList<PracticeGroup*> m_groups;
    PracticeGroupModel* mp_model;
    QmlFacadeCourseItem* mp_activity;
    int m_totalSessions;
    int m_totalSkillPoints;
    QDate m_lastPracticeDate;
    std::mt19937 m_random;
};
