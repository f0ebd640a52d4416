// The element_state rows: states by name, completion times, the selected element and module counts.
#include "FrameworkFixtures.h"

using edufrmwk::Database;

namespace {

class ElementStateRows : public OpenDatabase {};

TEST_F(ElementStateRows, ReadBackIgnoringLetterCase)
{
    auto state = ElementState::NONE;
    EXPECT_EQ(m_db.getElementState(1, QStringLiteral("g1"), state), 200);  // no row: no error line
    EXPECT_EQ(state, ElementState::NONE);
    EXPECT_TRUE(LogCapture::instance().lines().isEmpty());
    ASSERT_TRUE(run("INSERT INTO element_state (path, user_id, state) VALUES ('g1', 1, 'completed'), "
                    "('g2', 1, 'bogus'), ('g1', 2, 'LOCKED'), ('g3', 1, 'UnLocked')"));
    const struct { int user; const char* path; ElementState::state_e state; } stored[] = {
        {1, "g1", ElementState::COMPLETED}, {1, "g2", ElementState::INVALID}, {2, "g1", ElementState::LOCKED},
        {1, "g3", ElementState::UNLOCKED}};
    for (const auto& r : stored) {
        EXPECT_EQ(m_db.getElementState(r.user, QLatin1String(r.path), state), 0);
        EXPECT_EQ(state, r.state) << r.path;
    }
    // Completed rows are counted in any letter case.
    Database::ModuleStats stats;
    ASSERT_EQ(m_db.getModuleStats(1, stats), 0);
    EXPECT_EQ(stats.completed, 1);
    EXPECT_EQ(stats.total, 3);
}

TEST_F(ElementStateRows, SavedByNameWithCompletionTimes)
{
    ASSERT_EQ(m_db.saveElementState(1, QStringLiteral("g1/s1/a1"), ElementState::COMPLETED), 0);
    const QString first = rows("SELECT id, path, user_id, state, selected, completed_ts FROM element_state").value(0);
    EXPECT_TRUE(first.startsWith(QStringLiteral("1|g1/s1/a1|1|COMPLETED|false|"))) << first.toStdString();
    const QString localStamp = first.section(QLatin1Char('|'), 5);
    EXPECT_LE(qAbs(Database::parseTimestamp(localStamp).secsTo(QDateTime::currentDateTime())), 5);

    // Another state keeps the completion time; completing again stamps it anew, in UTC.
    ASSERT_EQ(m_db.saveElementState(1, QStringLiteral("g1/s1/a1"), ElementState::UNLOCKED), 0);
    EXPECT_EQ(rows("SELECT state, completed_ts FROM element_state WHERE id = 1"),
              QStringList{QStringLiteral("UNLOCKED|") + localStamp});
    ASSERT_EQ(m_db.saveElementState(1, QStringLiteral("g1/s1/a1"), ElementState::COMPLETED), 0);
    const QString utcStamp = rows("SELECT completed_ts FROM element_state WHERE id = 1").value(0);
    const QDateTime utc = QDateTime::fromString(utcStamp, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    EXPECT_LE(qAbs(QDateTime(utc.date(), utc.time(), Qt::UTC).secsTo(QDateTime::currentDateTimeUtc())), 5);
    EXPECT_EQ(rows("SELECT count(*) FROM element_state"), QStringList{"1"});
}

TEST_F(ElementStateRows, SelectionMovesOnlyToAnExistingRowOfTheSameUser)
{
    // Paths with quotes and wildcards are exact keys: no LIKE pattern picks the second for the third.
    const QString odd = QStringLiteral("g'1/s%1/a_1@x");
    ASSERT_EQ(m_db.saveElementState(2, QStringLiteral("g1/s1/a1"), ElementState::UNLOCKED), 0);
    for (const QString& path : {QStringLiteral("g1/s1/a1"), QStringLiteral("g'1/sXY1/aZ1@x"), odd})
        ASSERT_EQ(m_db.saveElementState(1, path, ElementState::UNLOCKED), 0);
    EXPECT_EQ(m_db.setSelectedElement(1, QStringLiteral("g1/s1/a1")), 0);
    EXPECT_EQ(m_db.setSelectedElement(2, QStringLiteral("g1/s1/a1")), 0);
    EXPECT_EQ(m_db.setSelectedElement(1, odd), 0);
    EXPECT_EQ(m_db.getSelectedElement(1), odd);
    EXPECT_EQ(rows("SELECT path, user_id, selected FROM element_state ORDER BY id"),
              (QStringList{"g1/s1/a1|2|true", "g1/s1/a1|1|false", "g'1/sXY1/aZ1@x|1|false", odd + "|1|true"}));

    // A path without a row, or a change the file refuses, keeps the old selection.
    EXPECT_EQ(m_db.setSelectedElement(1, QStringLiteral("g1/s1/gone")), 200);
    ASSERT_TRUE(run("CREATE TRIGGER refuse BEFORE UPDATE OF selected ON element_state "
                    "WHEN NEW.selected = 'true' BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    EXPECT_EQ(m_db.setSelectedElement(1, QStringLiteral("g1/s1/a1")), 200);
    EXPECT_EQ(m_db.getSelectedElement(1), odd);

    // The empty path clears the user's selection only.
    EXPECT_EQ(m_db.setSelectedElement(1, QString()), 0);
    EXPECT_TRUE(m_db.getSelectedElement(1).isNull());
    EXPECT_EQ(m_db.getSelectedElement(2), QStringLiteral("g1/s1/a1"));
    EXPECT_EQ(AssertRecorder::count(), 0);
}

}  // namespace
