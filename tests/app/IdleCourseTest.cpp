// The course facade when nothing can be current (the course, compiled into the resources, opens
// only an empty subject at the first login), and the reset of all progress.
#include "FacadeEnvironment.h"

#include "app/facades/ProgramRestart.h"
#include "app/facades/QmlFacadeCourse.h"
#include "app/facades/QmlFacadeCourseItem.h"
#include "framework/Database.h"
#include "framework/FrameworkManager.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

using edufrmwk::FrameworkManager;

namespace {

LmsCourse* g_course = nullptr;

class IdleEnvironment : public ::testing::Environment {
public:
    void SetUp() override { g_course = startFramework(QStringLiteral(":/idle")); }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new IdleEnvironment);

class IdleCourse : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(g_course, nullptr);
        m_path = FrameworkManager::getInstance()->m_dbPath;
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
    void TearDown() override
    {
        FrameworkManager::getInstance()->m_dbPath = m_path;
        ProgramRestart::setHandler(nullptr);
        if (!db()->getDb())
            db()->initialize(m_path);  // as the restarted program would find it
    }
    static edufrmwk::Database* db() { return FrameworkManager::getInstance()->mp_database; }
    QString m_path;
};

TEST_F(IdleCourse, WithoutCurrentActivitySummariesAreZeroAndMovesOnlyWarn)
{
    QmlFacadeCourse* course = QmlFacadeCourse::instance();
    EXPECT_EQ(course->currentActivity(), nullptr);
    EXPECT_EQ(course->currentModule(), nullptr);
    EXPECT_FALSE(course->isNewModule());
    EXPECT_EQ(course->moduleCompletionPercentage(), 0);
    QSignalSpy activityChanged(course, &QmlFacadeCourse::currentActivityChanged);
    course->nextActivity();
    course->previousActivity();
    EXPECT_EQ(course->currentActivity(), nullptr);
    EXPECT_EQ(activityChanged.count(), 0);
    EXPECT_EQ(LogCapture::instance().linesContaining("no current activity").size(), 2);
    EXPECT_EQ(AssertRecorder::count(), 0);
    // A course in the resources keeps its page paths' colon and slashes.
    QmlFacadeCourseItem* grade = course->rootItem()->child(1);
    EXPECT_EQ(grade->fsPath(), ":/idle/01_grade_2/");
    EXPECT_EQ(grade->child(0)->child(0)->fsPath(), ":/idle/01_grade_2/00_rhythm/00_intro/page.qml");
}

TEST_F(IdleCourse, ResetClosesTheDatabaseDeletesItWithItsJournalsThenRestarts)
{
    QTemporaryDir dir;  // only a file ending in ".db" is deleted
    const QString other = dir.filePath("Brisola.DB");
    QFile(other).open(QIODevice::WriteOnly);
    ProgramRestart::setHandler([] { ADD_FAILURE() << "restarted"; });
    FrameworkManager::getInstance()->m_dbPath = other;
    QmlFacadeCourse::instance()->resetAllState();
    EXPECT_TRUE(QFile::exists(other));
    EXPECT_TRUE(LogCapture::instance().contains("invalid database filename " + other));
    EXPECT_NE(db()->getDb(), nullptr);
    FrameworkManager::getInstance()->m_dbPath = m_path;

    const char* const companions[] = {"-journal", "-wal", "-shm"};
    for (const char* suffix : companions) {
        QFile companion(m_path + suffix);
        ASSERT_TRUE(companion.open(QIODevice::WriteOnly));
    }
    int restarts = 0;
    bool closedAndGone = false;
    ProgramRestart::setHandler([&] {
        ++restarts;
        closedAndGone = !db()->getDb() && !QFile::exists(m_path);
        for (const char* suffix : companions)
            closedAndGone = closedAndGone && !QFile::exists(m_path + suffix);
    });
    QmlFacadeCourse::instance()->resetAllState();
    EXPECT_EQ(restarts, 1);
    EXPECT_TRUE(closedAndGone);

    ProgramRestart::setHandler(nullptr);  // no shell: the run goes on with a fresh database
    QmlFacadeCourse::instance()->resetAllState();
    ASSERT_NE(db()->getDb(), nullptr);
    EXPECT_EQ(db()->saveRating(1, 10, false), 0);
}

}  // namespace
