// Resetting all progress deletes the learner database with its companions and asks the shell to
// restart; its own process, since the database goes away.
#include "CourseWriter.h"
#include "FacadeEnvironment.h"

#include "app/facades/ProgramRestart.h"
#include "app/facades/QmlFacadeCourse.h"
#include "framework/Database.h"
#include "framework/FrameworkManager.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using edufrmwk::FrameworkManager;

namespace {

QTemporaryDir* g_courseDir = nullptr;
LmsCourse* g_course = nullptr;

class ResetEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_courseDir = new QTemporaryDir();
        CourseWriter w(g_courseDir->path());
        w.module("00_grade_1", "Grade 1");
        w.module("00_grade_1/00_rhythm", "Rhythm");
        w.learning("00_grade_1/00_rhythm/00_intro", "Intro");
        ASSERT_TRUE(w.ok());
        g_course = startFramework(g_courseDir->path());
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new ResetEnvironment);

const char* const Companions[] = {"-journal", "-wal", "-shm"};

class Reset : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(g_course, nullptr);
        m_path = FrameworkManager::getInstance()->m_dbPath;
        LogCapture::instance().clear();
    }
    void TearDown() override
    {
        FrameworkManager::getInstance()->m_dbPath = m_path;
        ProgramRestart::setHandler(nullptr);
        edufrmwk::Database* db = FrameworkManager::getInstance()->mp_database;
        if (!db->getDb())
            db->initialize(m_path);  // as the restarted program would find it
    }
    QString m_path;
};

TEST_F(Reset, ClosesTheDatabaseDeletesItWithItsCompanionsThenRestarts)
{
    QmlFacadeCourse::instance();
    ASSERT_TRUE(QFile::exists(m_path));
    for (const char* suffix : Companions) {
        QFile companion(m_path + suffix);
        ASSERT_TRUE(companion.open(QIODevice::WriteOnly));
    }
    edufrmwk::Database* db = FrameworkManager::getInstance()->mp_database;
    int restarts = 0;
    bool closedAndGone = false;
    ProgramRestart::setHandler([&] {
        ++restarts;
        closedAndGone = db->getDb() == nullptr && !QFile::exists(m_path);
        for (const char* suffix : Companions)
            closedAndGone = closedAndGone && !QFile::exists(m_path + suffix);
    });
    QmlFacadeCourse::instance()->resetAllState();
    EXPECT_EQ(restarts, 1);
    EXPECT_TRUE(closedAndGone);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("deleting %1").arg(m_path)));
}

TEST_F(Reset, WithoutARestartTheRunGoesOnWithAFreshDatabase)
{
    QmlFacadeCourse::instance()->resetAllState();
    EXPECT_TRUE(LogCapture::instance().contains("no restart handler installed"));
    edufrmwk::Database* db = FrameworkManager::getInstance()->mp_database;
    ASSERT_NE(db->getDb(), nullptr);
    EXPECT_EQ(db->saveRating(1, 10, false), 0);
}

TEST_F(Reset, OnlyAFileEndingInDotDbIsDeleted)
{
    QTemporaryDir dir;
    const QString other = dir.filePath("Brisola.DB");
    QFile file(other);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    int restarts = 0;
    ProgramRestart::setHandler([&] { ++restarts; });
    FrameworkManager::getInstance()->m_dbPath = other;
    QmlFacadeCourse::instance()->resetAllState();
    EXPECT_TRUE(QFile::exists(other));
    EXPECT_EQ(restarts, 0);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("invalid database filename %1").arg(other)));
    EXPECT_NE(FrameworkManager::getInstance()->mp_database->getDb(), nullptr);
}

}  // namespace
