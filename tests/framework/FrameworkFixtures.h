#pragma once

#include "SqlPeek.h"
#include "TestCourse.h"

#include "framework/Database.h"
#include "framework/FrameworkModel.h"
#include "framework/StatisticsEngine.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <initializer_list>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

// Another program on the learner file, until it goes out of scope: one holding an exclusive lock
// (every statement fails), or one in the middle of a read (writes pass, a commit is refused).
class OtherProgram {
public:
    enum Hold { Exclusive, Reading };
    OtherProgram(const QString& file, Hold hold);
    ~OtherProgram();
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

private:
    sqlite3* mp_db = nullptr;
    sqlite3_stmt* mp_read = nullptr;
};

// A folder of its own for the learner database "Brisola.db"; the assertion and log recorders start empty.
class DatabaseFolder : public ::testing::Test {
protected:
    void SetUp() override;
    // The file as another connection sees it, and a statement run through that connection.
    QStringList rows(const QString& sql) const { return sqlRows(m_file, sql); }
    bool run(const QString& sql) const { return sqlRun(m_file, sql); }

    QTemporaryDir m_dir;
    QString m_file;
};

// A fresh database open on the file with a statistics engine on it; login() adds a course and a model.
class OpenDatabase : public DatabaseFolder {
protected:
    void SetUp() override;
    // A fresh course (a TestCourse description) and model on it, logged in as "user", as at a start.
    void login(const QString& description);
    void useCourse(const QString& description);
    LmsElement* el(const char* name) const { return (*m_course)[QString::fromLatin1(name)]; }
    // The stored states in the notation of TestCourse::states(), "-" for an element without a row.
    QString storedStates() const;
    void answer(const char* path, const char* tag, std::initializer_list<double> values, int user = 1);

    edufrmwk::Database m_db;
    edufrmwk::StatisticsEngine m_stats;
    std::unique_ptr<TestCourse> m_course;
    std::unique_ptr<edufrmwk::FrameworkModel> m_model;
};
