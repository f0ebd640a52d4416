// Element states: the state object on the tree, its names, and the element_state rows.
#include "DatabaseFixture.h"

#include "framework/ElementState.h"
#include "lms/LmsCourse.h"

#include <sqlite3.h>

using edufrmwk::Database;

namespace {

TEST(ElementStateNames, AreTheStoredTextsInValueOrder)
{
    const char* names[] = {"NONE", "LOCKED", "UNLOCKED", "ABORTED", "COMPLETED", "INVALID"};
    for (int i = 0; i < 6; ++i) {
        const auto state = static_cast<ElementState::state_e>(i);
        EXPECT_EQ(ElementState::stateToStr(state), QLatin1String(names[i]));
        EXPECT_EQ(ElementState::strToState(QLatin1String(names[i])), state);
    }
    for (const char* name : {"unlocked", "UnLocked"})
        EXPECT_EQ(ElementState::strToState(QLatin1String(name)), ElementState::UNLOCKED) << name;
    for (const char* name : {"UNLOCK", " LOCKED", ""})
        EXPECT_EQ(ElementState::strToState(QLatin1String(name)), ElementState::INVALID) << name;
}


class ElementStateRows : public OpenDatabase {
protected:
    // Two unlocked activities of user 1, the first selected.
    void selectFirstOfTwo()
    {
        for (const char* path : {"g1/s1/a1", "g1/s1/a2"})
            ASSERT_EQ(m_db.saveElementState(1, QString::fromLatin1(path), ElementState::UNLOCKED), 0);
        ASSERT_EQ(m_db.setSelectedElement(1, QStringLiteral("g1/s1/a1")), 0);
    }
};

TEST_F(ElementStateRows, ReadBackIgnoringLetterCase)
{
    auto state = ElementState::NONE;
    EXPECT_EQ(m_db.getElementState(1, QStringLiteral("g1"), state), 200);  // no row: no error line
    EXPECT_EQ(state, ElementState::NONE);
    EXPECT_TRUE(LogCapture::instance().lines().isEmpty());
    ASSERT_TRUE(run("INSERT INTO element_state (path, user_id, state) VALUES ('g1', 1, 'completed'), "
                    "('g2', 1, 'bogus'), ('g1', 2, 'LOCKED')"));
    const struct { int user; const char* path; ElementState::state_e state; } rows_[] = {
        {1, "g1", ElementState::COMPLETED}, {1, "g2", ElementState::INVALID}, {2, "g1", ElementState::LOCKED}};
    for (const auto& r : rows_) {
        EXPECT_EQ(m_db.getElementState(r.user, QLatin1String(r.path), state), 0);
        EXPECT_EQ(state, r.state) << r.path;
    }
}

TEST_F(ElementStateRows, SavedByNameWithCompletionTimes)
{
    ASSERT_EQ(m_db.saveElementState(1, QStringLiteral("g1/s1/a1"), ElementState::COMPLETED), 0);
    ASSERT_EQ(m_db.saveElementState(1, QStringLiteral("g1/s1/a2"), ElementState::LOCKED), 0);
    ASSERT_EQ(m_db.saveElementState(1, QString(), ElementState::UNLOCKED), 0);
    const QStringList first = rows("SELECT id, path, user_id, state, selected, completed_ts FROM element_state");
    ASSERT_EQ(first.size(), 3);
    EXPECT_TRUE(first[0].startsWith(QStringLiteral("1|g1/s1/a1|1|COMPLETED|false|")));
    const QString localStamp = first[0].section(QLatin1Char('|'), 5);
    EXPECT_LE(qAbs(Database::parseTimestamp(localStamp).secsTo(QDateTime::currentDateTime())), 5);
    EXPECT_EQ(first[1], QStringLiteral("2|g1/s1/a2|1|LOCKED|false|<null>"));
    EXPECT_EQ(first[2], QStringLiteral("3||1|UNLOCKED|false|<null>"));

    // Another state keeps the completion time; completing again stamps it anew, in UTC.
    ASSERT_EQ(m_db.saveElementState(1, QStringLiteral("g1/s1/a1"), ElementState::UNLOCKED), 0);
    EXPECT_EQ(rows("SELECT state, completed_ts FROM element_state WHERE id = 1"),
              QStringList{QStringLiteral("UNLOCKED|") + localStamp});
    ASSERT_EQ(m_db.saveElementState(1, QStringLiteral("g1/s1/a1"), ElementState::COMPLETED), 0);
    const QString utcStamp = rows("SELECT completed_ts FROM element_state WHERE id = 1").value(0);
    const QDateTime utc = QDateTime::fromString(utcStamp, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    EXPECT_LE(qAbs(QDateTime(utc.date(), utc.time(), Qt::UTC).secsTo(QDateTime::currentDateTimeUtc())), 5);
    EXPECT_EQ(rows("SELECT count(*) FROM element_state"), QStringList{"3"});
}

TEST_F(ElementStateRows, SelectionMovesOnlyToAnExistingRow)
{
    ASSERT_EQ(m_db.saveElementState(2, QStringLiteral("g1/s1/a1"), ElementState::UNLOCKED), 0);
    selectFirstOfTwo();
    EXPECT_TRUE(m_db.getSelectedElement(2).isNull());  // user 1's selection is not user 2's
    EXPECT_EQ(m_db.setSelectedElement(2, QStringLiteral("g1/s1/a1")), 0);
    EXPECT_EQ(m_db.setSelectedElement(1, QStringLiteral("g1/s1/a2")), 0);
    EXPECT_EQ(m_db.getSelectedElement(1), QStringLiteral("g1/s1/a2"));
    EXPECT_EQ(rows("SELECT path, user_id, selected FROM element_state ORDER BY id"),
              (QStringList{"g1/s1/a1|2|true", "g1/s1/a1|1|false", "g1/s1/a2|1|true"}));

    // A path without a row is refused and the old selection stays.
    EXPECT_EQ(m_db.setSelectedElement(1, QStringLiteral("g1/s1/gone")), 200);
    EXPECT_EQ(m_db.getSelectedElement(1), QStringLiteral("g1/s1/a2"));

    // The empty path clears the user's selection only.
    EXPECT_EQ(m_db.setSelectedElement(1, QString()), 0);
    EXPECT_TRUE(m_db.getSelectedElement(1).isNull());
    EXPECT_EQ(m_db.getSelectedElement(2), QStringLiteral("g1/s1/a1"));

    // Paths with quotes and wildcards are exact keys.
    const QString odd = QStringLiteral("g'1/s%1/a_1@x");
    ASSERT_EQ(m_db.saveElementState(1, odd, ElementState::UNLOCKED), 0);
    ASSERT_EQ(m_db.saveElementState(1, QStringLiteral("gX1/s%1/aZ1@x"), ElementState::LOCKED), 0);
    auto state = ElementState::NONE;
    EXPECT_EQ(m_db.getElementState(1, odd, state), 0);
    EXPECT_EQ(state, ElementState::UNLOCKED);
    EXPECT_EQ(m_db.setSelectedElement(1, odd), 0);
    EXPECT_EQ(rows("SELECT path FROM element_state WHERE selected = 'true' AND user_id = 1"), QStringList{odd});
}

TEST_F(ElementStateRows, RefusedSelectionKeepsTheOldOneAndTheConnectionUsable)
{
    selectFirstOfTwo();
    // Refused by the file itself...
    ASSERT_TRUE(run("CREATE TRIGGER refuse BEFORE UPDATE OF selected ON element_state "
                    "WHEN NEW.selected = 'true' BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    EXPECT_EQ(m_db.setSelectedElement(1, QStringLiteral("g1/s1/a2")), 200);
    EXPECT_EQ(m_db.getSelectedElement(1), QStringLiteral("g1/s1/a1"));
    ASSERT_TRUE(run("DROP TRIGGER refuse"));

    // ...and at the commit, by another program in the middle of a read.
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open(m_file.toUtf8().constData(), &reader), SQLITE_OK);
    sqlite3_stmt* read = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(reader, "SELECT path FROM element_state", -1, &read, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(read), SQLITE_ROW);
    EXPECT_EQ(m_db.setSelectedElement(1, QStringLiteral("g1/s1/a2")), 200);
    sqlite3_finalize(read);
    sqlite3_close(reader);

    EXPECT_NE(sqlite3_get_autocommit(m_db.getDb()), 0);
    EXPECT_EQ(m_db.getSelectedElement(1), QStringLiteral("g1/s1/a1"));
    ASSERT_EQ(m_db.saveMark(1, QStringLiteral("g1/s1/a1"), 0.5, 0), 0);
    EXPECT_EQ(rows("SELECT path FROM marks"), QStringList{"g1/s1/a1"});
}

TEST_F(ElementStateRows, ModuleStatsCountCompletedRows)
{
    Database::ModuleStats stats;
    EXPECT_EQ(m_db.getModuleStats(1, stats), 200);
    ASSERT_EQ(m_db.saveElementState(1, QStringLiteral("g1"), ElementState::COMPLETED), 0);
    ASSERT_EQ(m_db.saveElementState(1, QStringLiteral("g2"), ElementState::UNLOCKED), 0);
    ASSERT_EQ(m_db.saveElementState(2, QStringLiteral("g1"), ElementState::COMPLETED), 0);
    ASSERT_TRUE(run("INSERT INTO element_state (path, user_id, state) VALUES ('g3', 1, 'completed')"));
    ASSERT_EQ(m_db.getModuleStats(1, stats), 0);
    EXPECT_EQ(stats.completed, 2);
    EXPECT_EQ(stats.total, 3);

    QList<Database::ModuleInfo> modules;
    ASSERT_EQ(m_db.getModuleCompletionStats(1, modules), 0);
    ASSERT_EQ(modules.size(), 3);
    EXPECT_EQ(modules[0].path, QStringLiteral("g1"));
    EXPECT_EQ(modules[0].state, ElementState::COMPLETED);
    EXPECT_TRUE(modules[0].completionTime.isValid());
    EXPECT_FALSE(modules[1].completionTime.isValid());
}

}  // namespace
