#pragma once

#include "framework/Database.h"
#include "framework/FrameworkManager.h"
#include "framework/SqlPeek.h"

#include "debug/Debugging.h"
#include "exercise/NoteInputManager.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QMap>
#include <QTemporaryDir>

// A learner database of its own, reached the way the settings reach it (the framework manager's
// member), and the note inputs set up once per process.
class SettingsFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Debugging::setLoggingLevel(QsLogging::TraceLevel);
        NoteInputManager::getInstance()->initialize();
    }
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath("Brisola.db");
        ASSERT_EQ(m_db.initialize(m_file), 0);
        edufrmwk::FrameworkManager::getInstance()->mp_database = &m_db;
        AssertRecorder::clear();
        LogCapture::instance().clear();
    }
    void TearDown() override { edufrmwk::FrameworkManager::getInstance()->mp_database = nullptr; }

    // The settings rows as another connection reads them, name to value.
    QMap<QString, QString> rows() const
    {
        QMap<QString, QString> out;
        for (const QString& row : sqlRows(m_file, "SELECT name, value FROM settings"))
            out.insert(row.section('|', 0, 0), row.section('|', 1));
        return out;
    }
    bool store(const QString& name, const QString& value) const
    {
        return sqlRun(m_file, QString("INSERT OR REPLACE INTO settings (name, value) VALUES ('%1', '%2')").arg(name, value));
    }

    QTemporaryDir m_dir;
    QString m_file;
    edufrmwk::Database m_db;
};
