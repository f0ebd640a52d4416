#pragma once

#include "debug/Debugging.h"
#include "lms/Lms.h"
#include "lms/LmsCourse.h"
#include "lms/LmsExerciseActivity.h"
#include "lms/LmsFilesystem.h"
#include "lms/LmsLearningActivity.h"
#include "lms/LmsMetadata.h"
#include "lms/LmsQuestion.h"
#include "lms/LmsQuestionAssociation.h"
#include "lms/LmsQuestionFilter.h"
#include "lms/LmsTestActivity.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QScriptEngine>
#include <QSignalSpy>
#include <QTemporaryDir>


// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace lmstest {

// The course model writes through the toolkit's messages; route them into the log capture.
inline void captureMessages()
{
    Debugging::initialize();
    Debugging::setLoggingLevel(QsLogging::TraceLevel);
    LogCapture::instance().clear();
}

inline bool writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A course tree under tests/lms/courses.
inline QString fixture(const QString& name)
{
    return QStringLiteral(BRISOLA_SOURCE_DIR "/tests/lms/courses/") + name;
}

// Copies a directory tree (so tests can change a committed fixture).
inline bool copyTree(const QString& from, const QString& to)
{
    QDir source(from);
    if (!QDir().mkpath(to))
        return false;
    for (const QFileInfo& entry : source.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString target = QDir(to).filePath(entry.fileName());
        if (entry.isDir() ? !copyTree(entry.filePath(), target) : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

inline QString typeWord(const LmsElement* e)
{
    static const char* const activityWords[] = {"other", "learning", "exercise", "test"};
    const auto* activity = dynamic_cast<const LmsActivityElement*>(e);
    return QLatin1String(activity ? activityWords[activity->getActivityType()] : "module");
}

inline QString describeQuestion(const LmsQuestion* q)
{
    const QScriptValue attributes = LmsMetadata::engine()->toScriptValue(QVariantMap(q->getAttributeMap()));
    return QStringLiteral("%1 uid=%2 d=%3 own=%4 tags=[%5] attrs=%6")
        .arg(q->getType())
        .arg(q->getUid())
        .arg(q->getDifficulty())
        .arg(q->hasTagList(false))
        .arg(q->getTagList(false).join(QLatin1Char('/')))
        .arg(LmsMetadata::toString(attributes).simplified());
}

// Everything a save and a reload must keep: first one line per element (type, display name,
// relative path, normalised path, display path), then the content element by element.
inline QStringList describeContent(LmsCourse& course)
{
    QList<LmsElement*> all;
    course.findElementsByType(all);
    QStringList lines;
    for (const LmsElement* e : all)
        lines << QStringList({typeWord(e), e->getName(), e->getFsRelativePath(), e->getNormalizedElementPath(),
                              e->getPath()}).join(QLatin1Char('|'));
    for (const LmsElement* e : all) {
        const QString at = e->getNormalizedElementPath() + QStringLiteral(": ");
        if (const auto* m = dynamic_cast<const LmsModuleElement*>(e))
            lines << at + QStringLiteral("icons ") + m->getEnabledIconPath() + QLatin1Char(',') + m->getDisabledIconPath();
        if (const auto* l = dynamic_cast<const LmsLearningActivity*>(e))
            lines << at + QStringLiteral("data ") + QString::number(l->hasData());
        const auto* a = dynamic_cast<const LmsQuestionActivity*>(e);
        if (!a)
            continue;
        lines << at + QStringLiteral("intro ") + a->getIntroText() + QLatin1Char('|') + a->getIntroGraphicPath();
        for (const LmsQuestion* t : a->getTemplateMap().getQuestions())
            lines << at + QStringLiteral("template ") + describeQuestion(t);
        for (const LmsQuestion* q : a->getQuestionList().getQuestions())
            lines << at + QStringLiteral("question ") + describeQuestion(q);
        for (const LmsQuestionAssociation* s : a->getAssociationList().getAssociations()) {
            const LmsQuestionFilter* f = s->getFilter();
            lines << at + QStringLiteral("association %1 uid=%2 type=%3 tags=[%4] d=%5 n=%6")
                              .arg(s->getSource() ? s->getSource()->getNormalizedElementPath() : QStringLiteral("-"))
                              .arg(f->getUid())
                              .arg(f->getType())
                              .arg(f->getTagList().join(QLatin1Char('/')))
                              .arg(f->getDifficulty())
                              .arg(f->getCount());
        }
    }
    return lines;
}

// Messages captured and the valid course's plug-ins loaded; course loads nothing yet.
class CourseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        captureMessages();
        Lms::loadPlugins(fixture(QStringLiteral("valid/plugins")));
    }
    static QStringList warnings()
    {
        return LogCapture::instance().linesContaining(QStringLiteral(" WARN "));
    }
    LmsCourse course{QStringLiteral("Course")};
};

}  // namespace lmstest
