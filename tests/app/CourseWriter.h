#pragma once

#include <QString>
#include <QStringList>

// Writes a course directory for the facade tests, with the "Imitation" question type's plug-in
// description in "<root>/lms".
class CourseWriter {
public:
    explicit CourseWriter(const QString& root);

    // type: "module", "learning_activity", "exercise_activity" or "test_activity". A question
    // activity gets one question (difficulty 5) per entry of tags, "" for one without own tags.
    void add(const QString& path, const QString& name, const char* type = "module", const QStringList& tags = {},
             const QString& associations = QStringLiteral("[]"));
    // One element per line, "path|name" for a module or "path|name|tags[|kind]" for an activity:
    // tags per question separated by ";" ("-" for a question without own tags, nothing for a
    // learning page), kind "test" for a test, otherwise an exercise.
    void addAll(const QStringList& lines);
    bool ok() const { return m_ok; }

    // Grade 1: Rhythm (Intro, "Exercise: Beat Tapping 1" drawing five questions from its two,
    // "Exercise: Note Tapping 1", More, Again, Quiz, "#endofcourse#"), Melody ("Exercise: Pitch
    // Singing 1", Listen) and Exam; grades 2 and 3: Rhythm (Intro, Next).
    static bool writeCourseOfThreeGrades(const QString& root);

private:
    void write(const QString& path, const QString& text);

    QString m_root;
    bool m_ok = true;
};
