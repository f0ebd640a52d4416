#pragma once

#include <QList>
#include <QObject>
#include <QVariantMap>

class LmsQuestion;
class LmsQuestionActivity;
class QmlFacadeCourseItem;

// Serves one question activity's questions to QML: draws them from the activity's associations
// (repeating when a source has too few), records each outcome, the activity's mark and the change
// in skill rating, and reads back the newest mark. Items of other kinds hold an idle context.
class QmlFacadeQuestionContext : public QObject {
    Q_OBJECT
    Q_PROPERTY(double mark READ mark NOTIFY markChanged)
    Q_PROPERTY(double ratingDelta READ ratingDelta NOTIFY markChanged)
    Q_PROPERTY(int count READ count)
    // Answers and marks not saved yet (the learner database refused them; they are tried again
    // with the next save and at exit). The page tells the learner while it is above 0.
    Q_PROPERTY(int unsavedCount READ unsavedCount NOTIFY unsavedCountChanged)
    // They are kept in a file until saved (false: in memory only).
    Q_PROPERTY(bool unsavedInFile READ unsavedInFile NOTIFY unsavedCountChanged)

public:
    explicit QmlFacadeQuestionContext(QmlFacadeCourseItem* item);
    ~QmlFacadeQuestionContext() override = default;

    Q_INVOKABLE void load();
    Q_INVOKABLE void start();
    Q_INVOKABLE QVariantMap question(int idx);
    Q_INVOKABLE void submitQuestionOutcome(int idx, double mark);
    Q_INVOKABLE void submitMark(double mark);

    // -1 when the activity has no valid mark yet.
    double mark();
    double ratingDelta();
    int count() const { return m_questionList.count(); }
    int unsavedCount() const;
    bool unsavedInFile() const;

    LmsQuestionActivity* activity() const { return mp_activity; }
    const QList<LmsQuestion*>& questions() const { return m_questionList; }

signals:
    void markChanged();
    void completed();
    void unsavedCountChanged();

private:
    bool hasActivity(const char* operation) const;
    bool validIndex(int idx) const;
    // Reads the newest valid mark; false when there is none.
    bool latestMark(double& mark, int& ratingDelta);
    void notifyUnsavedCount(int before);

    QmlFacadeCourseItem* mp_item;
    LmsQuestionActivity* mp_activity;
    QList<LmsQuestion*> m_questionList;
    int m_startRating;
    qint64 m_run = 0;  // the start of this run, when the records measure it
    // The last mark of this run while it waits to be saved (-1: none), and its rating change (-1:
    // not measured before it is saved).
    double m_keptMark = -1.0;
    int m_keptDelta = -1;
};
