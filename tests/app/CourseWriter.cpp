#include "CourseWriter.h"

#include <QDir>
#include <QFile>

CourseWriter::CourseWriter(const QString& root)
    : m_root(root)
    , m_ok(true)
{
}

bool CourseWriter::write(const QString& path, const QString& text)
{
    const QString file = QDir(m_root).filePath(path);
    QFile out(file);
    const bool written = QDir().mkpath(QFileInfo(file).path()) && out.open(QIODevice::WriteOnly)
        && out.write(text.toUtf8()) >= 0;
    m_ok = m_ok && written;
    return written;
}

bool CourseWriter::module(const QString& path, const QString& name)
{
    return write(path + QStringLiteral("/_metadata.json"),
                 QStringLiteral("{\"properties\": {\"elementName\": \"%1\", \"elementType\": \"module\"}}").arg(name));
}

bool CourseWriter::learning(const QString& path, const QString& name)
{
    return write(path + QStringLiteral("/_metadata.json"),
                 QStringLiteral("{\"properties\": {\"elementName\": \"%1\", \"elementType\": \"learning_activity\"}}")
                     .arg(name))
        && write(path + QStringLiteral("/page.qml"), QStringLiteral("import QtQuick 2.0\nItem {}\n"));
}

bool CourseWriter::exercise(const QString& path, const QString& name, const QStringList& questionTags,
                            const QString& associations)
{
    return questionActivity(path, name, "exercise_activity", questionTags, associations);
}

bool CourseWriter::test(const QString& path, const QString& name, const QStringList& questionTags,
                        const QString& associations)
{
    return questionActivity(path, name, "test_activity", questionTags, associations);
}

bool CourseWriter::questionActivity(const QString& path, const QString& name, const char* type,
                                    const QStringList& questionTags, const QString& associations)
{
    QStringList questions;
    for (int i = 0; i < questionTags.size(); ++i) {
        const QString tags = questionTags.at(i).isEmpty() ? QString()
                                                          : QStringLiteral(", \"_tags\": \"%1\"").arg(questionTags.at(i));
        questions << QStringLiteral("{\"_type\": \"Imitation\", \"_difficulty\": 5%1, \"gmn\": \"[ c%2 ]\"}")
                         .arg(tags)
                         .arg(i + 1);
    }
    return write(path + QStringLiteral("/_metadata.json"),
                 QStringLiteral("{\"properties\": {\"elementName\": \"%1\", \"elementType\": \"%2\"},\n"
                                " \"questions\": [%3],\n \"associations\": %4}")
                     .arg(name, QLatin1String(type), questions.join(QStringLiteral(",\n  ")), associations));
}

bool CourseWriter::plugins()
{
    return write(QStringLiteral("lms/ImitationQuestion.json"),
                 QStringLiteral("{\"_type\": \"Imitation\", \"gmn\": {\"type\": \"Text\", \"default\": \"[ c ]\"},"
                                " \"tempo\": {\"type\": \"Integer\", \"default\": 100}}"));
}
