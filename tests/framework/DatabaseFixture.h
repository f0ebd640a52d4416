#pragma once

#include "SqlPeek.h"

#include "framework/Database.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

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

// The same with a fresh database open on the file.
class OpenDatabase : public DatabaseFolder {
protected:
    void SetUp() override
    {
        DatabaseFolder::SetUp();
        ASSERT_EQ(m_db.initialize(m_file), 0);
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }

    edufrmwk::Database m_db;
};
