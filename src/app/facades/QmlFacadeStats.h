#pragma once

#include <QObject>

class RoleItemModel;

// The statistics screens' four list models: the rating history, the skill per subject, and the
// quiz and exam marks. Each property read rebuilds its model from the records; the model object
// itself never changes.
class QmlFacadeStats : public QObject {
    Q_OBJECT
    Q_PROPERTY(RoleItemModel* progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(RoleItemModel* skills READ skills NOTIFY skillsChanged)
    Q_PROPERTY(RoleItemModel* quizMarks READ quizMarks NOTIFY quizMarksChanged)
    Q_PROPERTY(RoleItemModel* examMarks READ examMarks NOTIFY examMarksChanged)

public:
    enum Role { TimestampRole = Qt::UserRole + 1, GradeRole, SubjectRole, ValueRole };

    explicit QmlFacadeStats(QObject* parent = nullptr);
    ~QmlFacadeStats() override;

    RoleItemModel* progress();
    RoleItemModel* skills();
    RoleItemModel* quizMarks();
    RoleItemModel* examMarks();

    // Emits the changed signal of the given model, so bindings read (and rebuild) it again.
    Q_INVOKABLE void update(RoleItemModel* model);

signals:
    void progressChanged();
    void skillsChanged();
    void quizMarksChanged();
    void examMarksChanged();

private:
    // Quiz rows name the quiz's subject and grade; exam rows only the exam's grade.
    void fillMarks(RoleItemModel* model, const char* pattern, const char* countFormat, bool withSubject);

    RoleItemModel* mp_progress;
    RoleItemModel* mp_skills;
    RoleItemModel* mp_quizMarks;
    RoleItemModel* mp_examMarks;
};
