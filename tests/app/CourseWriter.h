#pragma once

#include <QString>
#include <QStringList>

// Writes a course directory for the facade tests: modules, learning pages, exercises and tests
// with questions of the "Imitation" type (difficulty 5, as practice filters expect), and the
// type's plug-in description in "<root>/lms".
class CourseWriter {
public:
    explicit CourseWriter(const QString& root);

    bool module(const QString& path, const QString& name);
    bool learning(const QString& path, const QString& name);
    // One question per entry of questionTags ("" for a question without tags of its own).
    bool exercise(const QString& path, const QString& name, const QStringList& questionTags,
                  const QString& associations = QStringLiteral("[]"));
    bool test(const QString& path, const QString& name, const QStringList& questionTags,
              const QString& associations = QStringLiteral("[]"));
    bool plugins();
    // Every write succeeded.
    bool ok() const { return m_ok; }

private:
    bool questionActivity(const QString& path, const QString& name, const char* type, const QStringList& questionTags,
                          const QString& associations);
    bool write(const QString& path, const QString& text);

    QString m_root;
    bool m_ok;
};
