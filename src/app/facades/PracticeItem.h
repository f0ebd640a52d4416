#pragma once

#include <QList>
#include <QObject>
#include <QString>

class LmsExerciseActivity;

// One kind of exercise in practice mode ("Pitch Singing"), gathering that exercise's activities
// of every grade, with the learner's progress over its question variants.
class PracticeItem : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString name READ name CONSTANT)
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(bool selected READ selected WRITE setSelected NOTIFY selectedChanged)
    Q_PROPERTY(bool locked READ locked WRITE setLocked NOTIFY lockedChanged)

public:
    explicit PracticeItem(const QString& name);
    ~PracticeItem() override = default;

    const QString& name() const { return m_name; }
    const QString& gradeName() const { return m_gradeName; }
    void setGradeName(const QString& gradeName) { m_gradeName = gradeName; }
    double progress() const { return m_progress; }
    void setProgress(double progress);
    bool selected() const { return m_selected; }
    // Both setters store and signal every time, as a QML write expects.
    void setSelected(bool selected);
    bool locked() const { return m_locked; }
    void setLocked(bool locked);

    const QList<LmsExerciseActivity*>& activities() const { return m_activities; }
    void appendActivity(LmsExerciseActivity* activity) { m_activities.append(activity); }

signals:
    void progressChanged();
    void selectedChanged();
    void lockedChanged();

private:
    QString m_name;
    QString m_gradeName;
    double m_progress;
    bool m_selected;
    bool m_locked;
    QList<LmsExerciseActivity*> m_activities;
};
