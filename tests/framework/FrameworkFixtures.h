#pragma once

#include "SqlPeek.h"
#include "TestCourse.h"

#include "framework/Database.h"
#include "framework/FrameworkModel.h"
#include "framework/StatisticsEngine.h"
#include "framework/UserSession.h"
#include "lms/LmsCourse.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <initializer_list>
#include <memory>

#include <sqlite3.h>

// Another program on the learner file while in scope, inside the transaction `begin` opens:
// "BEGIN EXCLUSIVE" fails every statement, a read ("BEGIN; SELECT ...") refuses every commit.
class OtherProgram {
public:
    OtherProgram(const QString& file, const char* begin)
    {
        EXPECT_EQ(sqlite3_open(file.toUtf8().constData(), &mp_db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(mp_db, begin, nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ~OtherProgram() { sqlite3_close(mp_db); }  // which ends its transaction
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

private:
    sqlite3* mp_db = nullptr;
};

// A folder of its own for the learner database "Brisola.db"; the assertion and log recorders start empty.
class DatabaseFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("Brisola.db"));
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
    // The file as another connection sees it, and a statement run through that connection.
    QStringList rows(const QString& sql) const { return sqlRows(m_file, sql); }
    bool run(const QString& sql) const { return sqlRun(m_file, sql); }

    QTemporaryDir m_dir;
    QString m_file;
};

// A fresh database open on the file with a statistics engine on it; login() adds a course and a model.
class OpenDatabase : public DatabaseFolder {
protected:
    void SetUp() override
    {
        DatabaseFolder::SetUp();
        ASSERT_EQ(m_db.initialize(m_file), 0);
        // The cases that hold the file hold it for good: waiting the busy time out tells them nothing.
        m_db.setBusyTimeout(50);
        m_stats.initialize(&m_db);
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
    void useCourse(const QString& description)
    {
        m_course.reset(new TestCourse(description));
        m_stats.setCourse(m_course->course());
    }
    // A fresh course (a TestCourse description) and a model on it, logged in as "user" as at a start;
    // with `hold`, another program holds the file (see OtherProgram) once the account is read.
    void login(const QString& description, const char* hold = nullptr)
    {
        useCourse(description);
        m_model.reset(new edufrmwk::FrameworkModel(&m_db, &m_stats));
        // as the program's: what is refused for good is set aside beside the database
        m_model->pendingRecords()->setFolders({m_dir.path()}, QStringLiteral("Brisola"));
        m_model->setCourse(m_course->course());
        edufrmwk::UserInfo* info = nullptr;
        ASSERT_EQ(m_db.getUser(QStringLiteral("user"), &info), 0);
        const std::unique_ptr<OtherProgram> other(hold ? new OtherProgram(m_file, hold) : nullptr);
        m_model->setUserSession(new edufrmwk::UserSession(info));
    }
    LmsElement* el(const char* name) const { return (*m_course)[QString::fromLatin1(name)]; }
    // The stored states in the notation of TestCourse::states(), "-" for an element without a row.
    QString storedStates()
    {
        QStringList out;
        for (const QString& item : m_course->states().split(QLatin1Char(' '))) {
            const QString name = item.section(QLatin1Char('='), 0, 0);
            auto state = ElementState::NONE;
            const int rc = m_db.getElementState(1, (*m_course)[name]->getNormalizedElementPath(), state);
            out << name + QLatin1Char('=') + (rc == 0 ? TestCourse::letter(state) : QStringLiteral("-"));
        }
        return out.join(QLatin1Char(' '));
    }
    void answer(const char* path, const char* tag, std::initializer_list<double> values, int user = 1)
    {
        for (double value : values)
            ASSERT_EQ(m_db.saveAnswer(user, {QString::fromUtf8(path), QString::fromUtf8(tag)}, value), 0);
    }

    edufrmwk::Database m_db;
    edufrmwk::StatisticsEngine m_stats;
    std::unique_ptr<TestCourse> m_course;
    std::unique_ptr<edufrmwk::FrameworkModel> m_model;
};
