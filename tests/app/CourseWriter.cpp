#include "CourseWriter.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

CourseWriter::CourseWriter(const QString& root)
    : m_root(root)
{
    write("lms/ImitationQuestion.json", "{\"_type\": \"Imitation\", \"gmn\": {\"type\": \"Text\", \"default\": \"[ c ]\"},"
                                        " \"tempo\": {\"type\": \"Integer\", \"default\": 100}}");
}

void CourseWriter::write(const QString& path, const QString& text)
{
    const QString file = QDir(m_root).filePath(path);
    QFile out(file);
    m_ok = m_ok && QDir().mkpath(QFileInfo(file).path()) && out.open(QIODevice::WriteOnly)
        && out.write(text.toUtf8()) >= 0;
}

void CourseWriter::add(const QString& path, const QString& name, const char* type, const QStringList& tags,
                       const QString& associations)
{
    QStringList questions;
    for (int i = 0; i < tags.size(); ++i)
        questions << QStringLiteral("{\"_type\": \"Imitation\", \"_difficulty\": 5, %1\"gmn\": \"[ c%2 ]\"}")
                         .arg(tags.at(i).isEmpty() ? QString() : QStringLiteral("\"_tags\": \"%1\", ").arg(tags.at(i)))
                         .arg(i + 1);
    write(path + "/_metadata.json",
          QStringLiteral("{\"properties\": {\"elementName\": \"%1\", \"elementType\": \"%2\"},"
                         " \"questions\": [%3], \"associations\": %4}")
              .arg(name, QLatin1String(type), questions.join(", "), associations));
}

void CourseWriter::addAll(const QStringList& lines)
{
    for (const QString& line : lines) {
        const QStringList f = line.split('|');
        if (f.size() == 2) {
            add(f[0], f[1]);
        } else if (f[2].isEmpty()) {
            add(f[0], f[1], "learning_activity");
        } else {
            const QStringList tags = f[2].split(';').replaceInStrings(QRegularExpression("^-$"), QString());
            add(f[0], f[1], f.value(3) == "test" ? "test_activity" : "exercise_activity", tags,
                f.value(3) == "test" ? "[{\"path\": \".\", \"count\": 1}]" : "[]");
        }
    }
}

bool CourseWriter::writeCourseOfThreeGrades(const QString& root)
{
    CourseWriter w(root);
    w.addAll({"00_grade_1|Grade 1", "00_grade_1/00_rhythm|Rhythm", "00_grade_1/00_rhythm/00_intro|Intro|"});
    w.add("00_grade_1/00_rhythm/01_tapping", "Exercise: Beat Tapping 1", "exercise_activity", {"a, b", ""},
          "[{\"path\": \".\", \"count\": 5}]");
    w.add("00_grade_1/00_rhythm/02_notes", "Exercise: Note Tapping 1", "exercise_activity", {"x"},
          "[{\"path\": \".\", \"count\": 1}]");
    w.addAll({"00_grade_1/00_rhythm/03_more|More|", "00_grade_1/00_rhythm/04_again|Again|",
              "00_grade_1/00_rhythm/05_quiz|Quiz|q|test", "00_grade_1/00_rhythm/06_the_end|#endofcourse#|",
              "00_grade_1/01_melody|Melody", "00_grade_1/01_melody/00_singing|Exercise: Pitch Singing 1|m",
              "00_grade_1/01_melody/01_listen|Listen|", "00_grade_1/02_exam|Exam|e|test"});
    for (const QString grade : {"01_grade_2|Grade 2", "02_grade_3|Grade 3"}) {
        const QString path = grade.section('|', 0, 0);
        w.addAll({grade, path + "/00_rhythm|Rhythm", path + "/00_rhythm/00_intro|Intro|", path + "/00_rhythm/01_next|Next|"});
    }
    return w.ok();
}
