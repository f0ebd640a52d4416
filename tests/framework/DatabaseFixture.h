#pragma once

#include "SqlPeek.h"

#include "framework/Database.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

// A fresh learner database in a folder of its own; the assertion and log recorders start empty.
class OpenDatabase : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("Brisola.db"));
        ASSERT_EQ(m_db.initialize(m_file), 0);
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
    // The file as another connection sees it.
    QStringList rows(const char* sql) const { return sqlRows(m_file, sql); }

    QTemporaryDir m_dir;
    QString m_file;
    edufrmwk::Database m_db;
};
