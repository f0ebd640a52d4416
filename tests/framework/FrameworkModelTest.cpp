// The framework model on small courses: first login, unlocking, completion and the current activity,
// checked in memory and in the element_state rows.
#include "FrameworkFixtures.h"

#include "framework/UserSession.h"
#include "lms/LmsActivityElement.h"
#include "lms/LmsCourse.h"

#include <sqlite3.h>

using namespace edufrmwk;

namespace {

int countCommit(void* counter)
{
    ++*static_cast<int*>(counter);
    return 0;
}

class ModelTest : public OpenDatabase {
protected:
    LmsActivityElement* act(const char* name) const { return dynamic_cast<LmsActivityElement*>(el(name)); }
    // "a1=C s2=L": set in memory and in the file.
    void setStates(const char* states)
    {
        for (const QString& item : QString::fromLatin1(states).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const auto state = static_cast<ElementState::state_e>(QStringLiteral("NLUACI").indexOf(item.section('=', 1)));
            ASSERT_EQ(m_db.saveElementState(1, el(qPrintable(item.section('=', 0, 0)))->getNormalizedElementPath(), state),
                      0);
        }
        m_course->setStates(QString::fromLatin1(states));
    }
};

TEST_F(ModelTest, FirstLoginLeavesExactlyTheExpectedRowsInOneTransaction)
{
    int commits = 0;
    sqlite3_commit_hook(m_db.getDb(), countCommit, &commits);
    login(QStringLiteral("g1[s1[a1 a2] s2[b1] e[] x1] g2[s3[c1]]"));
    sqlite3_commit_hook(m_db.getDb(), nullptr, nullptr);
    EXPECT_EQ(commits, 1);
    EXPECT_EQ(m_course->states(), QStringLiteral("g1=U s1=U a1=U a2=L s2=U b1=U e=L x1=L g2=L s3=L c1=L"));
    EXPECT_EQ(rows("SELECT id, path, user_id, state, selected, completed_ts FROM element_state ORDER BY id"),
              (QStringList{"1||1|LOCKED|false|<null>",
                           "2|g1|1|UNLOCKED|false|<null>",
                           "3|g1/s1|1|UNLOCKED|false|<null>",
                           "4|g1/s1/a1|1|UNLOCKED|true|<null>",
                           "5|g1/s1/a2|1|LOCKED|false|<null>",
                           "6|g1/s2|1|UNLOCKED|false|<null>",
                           "7|g1/s2/b1|1|UNLOCKED|false|<null>",
                           "8|g1/e|1|LOCKED|false|<null>",
                           "9|g1/x1|1|LOCKED|false|<null>",
                           "10|g2|1|LOCKED|false|<null>",
                           "11|g2/s3|1|LOCKED|false|<null>",
                           "12|g2/s3/c1|1|LOCKED|false|<null>"}));
    EXPECT_EQ(m_model->getCurrentActivity(), el("a1"));
    EXPECT_EQ(m_model->getCurrentModule(), el("s1"));
    for (const char* table : {"answers", "marks", "ratings", "settings", "user_sessions", "user_properties"})
        EXPECT_EQ(rows(QStringLiteral("SELECT count(*) FROM %1").arg(table)), QStringList{"0"}) << table;
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("setting initial activity to g1/s1/g1/s1/a1")));
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(ModelTest, LaterLoginsRestoreWhatTheFileHoldsAndWriteNothingOverWhatTheyCannotRead)
{
    // After a first login: the file changed by `sql`, another program holding it (`hold`) during the
    // next login; then the states in memory and in the file ("" when the same), the current module
    // and activity, the selected row, a log line and the assertions reported.
    const struct { const char* name; const char* sql; const char* hold; const char* memory; const char* stored; const char* current; const char* selected; const char* log; const char* reports; } cases[] = {
        {"Restores", "UPDATE element_state SET state = 'COMPLETED' WHERE path = 'g1/s1/a1'; UPDATE element_state SET selected = CASE path WHEN 'g1/s2/b1' THEN 'true' ELSE 'false' END",
         nullptr, "g1=U s1=U a1=C a2=L s2=U b1=U", "", "s2/b1", "g1/s2/b1", "loading current activity: g1/s2/b1", ""},
        {"SelectionBelowAnActivity", "UPDATE element_state SET selected = 'false'; INSERT INTO element_state (path, user_id, state, selected) VALUES ('g1/s1/a1/deeper', 1, 'UNLOCKED', 'true')",
         nullptr, "g1=U s1=U a1=U a2=L s2=U b1=U", "", "s1/a1", "g1/s1/a1", "looks like g1/s1/a1/deeper has disappeared; perhaps the content was updated?", ""},
        {"SelectionGone", "UPDATE element_state SET selected = 'false'; INSERT INTO element_state (path, user_id, state, selected) VALUES ('g9/gone/x', 1, 'UNLOCKED', 'true')",
         nullptr, "g1=U s1=U a1=U a2=L s2=U b1=U", "", "s1/a1", "g1/s1/a1", "looks like g9/gone/x has disappeared; perhaps the content was updated?", ""},
        {"EverythingCompleted", "UPDATE element_state SET state = 'COMPLETED', selected = 'false'",
         nullptr, "g1=C s1=C a1=C a2=C s2=C b1=C", "", "", "", "cannot set initial recommended activity", ""},
        // One report for the tree, one for the grade that could not be unlocked; each dialog is a click.
        {"RefusedFirstLogin", "DELETE FROM element_state; CREATE TRIGGER refuse BEFORE INSERT ON element_state BEGIN SELECT RAISE(ABORT, 'refused'); END",
         nullptr, "g1=L s1=L a1=L a2=L s2=L b1=L", "g1=- s1=- a1=- a2=- s2=- b1=-", "", "", "", "rc == RC_OK,rc == RC_OK"},
        // The manager's login stops at reading the account; read a moment earlier, the model meets the lock.
        {"LockedFile", "UPDATE element_state SET state = 'COMPLETED' WHERE path = 'g1/s1/a1'",
         "BEGIN EXCLUSIVE", "g1=L s1=L a1=L a2=L s2=L b1=L", "g1=U s1=U a1=C a2=L s2=U b1=U", "s1/a1", "g1/s1/a1", "",
         "result == RC_OK,rc == RC_OK"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(run("DELETE FROM element_state; DROP TRIGGER IF EXISTS refuse"));
        login(QStringLiteral("g1[s1[a1 a2] s2[b1]]"));
        ASSERT_TRUE(run(c.sql));
        AssertRecorder::clear();
        LogCapture::instance().clear();
        login(QStringLiteral("g1[s1[a1 a2] s2[b1]]"), c.hold);
        EXPECT_EQ(m_course->states(), QLatin1String(c.memory));
        EXPECT_EQ(storedStates(), QLatin1String(*c.stored ? c.stored : c.memory));
        const auto* activity = m_model->getCurrentActivity();
        EXPECT_EQ(activity ? m_model->getCurrentModule()->getName() + '/' + activity->getName() : QString(),
                  QLatin1String(c.current));
        EXPECT_EQ(rows("SELECT path FROM element_state WHERE selected = 'true'").join(' '), QLatin1String(c.selected));
        EXPECT_TRUE(LogCapture::instance().contains(QLatin1String(c.log)));
        EXPECT_EQ(AssertRecorder::expressions().join(QLatin1Char(',')), QLatin1String(c.reports));
    }
}

TEST_F(ModelTest, CompletionClimbsAndUnlocksAsTheRulesSayARefusedChangeIsUndoneWholeAndABlockedOneKept)
{
    // course, states set on top of the first login's (in memory and file), completed element, every
    // element afterwards in tree order (in memory and in the file), and what refuses the change at
    // first: a trigger's condition, or another program reading the file when the change commits
    const struct { const char* name; const char* course; const char* before; const char* complete; const char* after; const char* refuse; } cases[] = {
        {"NextSiblingUnlocks", "g1[s1[a1 a2 a3]]", "a2=U", "a2", "g1=U s1=U a1=U a2=C a3=U", nullptr},
        {"FirstOfThreeUnlocksSecondOnly", "g1[s1[a1 a2 a3]]", "", "a1", "g1=U s1=U a1=C a2=U a3=L", nullptr},
        {"CompletedOrAbortedSiblingKeepsItsState", "g1[s1[a1 a2 a3]]", "a2=A", "a1", "g1=U s1=U a1=C a2=A a3=L", nullptr},
        {"LastOpenActivityCompletesSubjectAndUnlocksNextSubject", "g1[s1[a1 a2] s2[b1 b2]]", "a1=C a2=U s2=L b1=L", "a2", "g1=U s1=C a1=C a2=C s2=U b1=L b2=L", nullptr},
        {"LastChildWithOthersOpenUnlocksNothing", "g1[s1[a1 a2 a3]]", "a3=U", "a3", "g1=U s1=U a1=U a2=L a3=C", nullptr},
        {"GradeCompletesAndNextGradeUnlocksWithItsSubjects", "g1[s1[a1]] g2[s2[b1 b2] e[] s3[c1]]", "", "a1",
         "g1=C s1=C a1=C g2=U s2=U b1=U b2=L e=L s3=U c1=U", nullptr},
        {"LastGradeCompletesTheCourse", "g1[s1[a1]] g2[s2[b1]]", "g1=C s1=C a1=C g2=U s2=U b1=U", "b1", "g1=C s1=C a1=C g2=C s2=C b1=C", nullptr},
        {"TestCompletesItsSubjectWithOthersOpen", "g1[s1[a1 t1 a2] s2[b1]]", "t1=U", "t1", "g1=U s1=C a1=U t1=C a2=L s2=U b1=U", nullptr},
        {"TestInSubjectUnlocksFollowingSubject", "g1[s1[a1 t1] s2[b1]]", "s2=L b1=L t1=U", "t1", "g1=U s1=C a1=U t1=C s2=U b1=L", nullptr},
        {"TestDirectlyInGradeIsNoSubjectTest", "g1[s1[a1] t1 s2[b1]]", "s1=C a1=C t1=U s2=L b1=L", "t1", "g1=U s1=C a1=C t1=C s2=U b1=L", nullptr},
        {"TestDirectlyInGradeCompletesItWhenLast", "g1[s1[a1] t1] g2[s2[b1]]", "s1=C a1=C t1=U", "t1", "g1=C s1=C a1=C t1=C g2=U s2=U b1=U", nullptr},
        {"EmptySubjectBlocksGradeCompletion", "g1[s1[a1] e[]] g2[s2[b1]]", "", "a1", "g1=U s1=C a1=C e=U g2=L s2=L b1=L", nullptr},
        {"RepeatedCompletionSetsNothingOff", "g1[s1[a1 a2]]", "a1=C a2=L", "a1", "g1=U s1=U a1=C a2=L", nullptr},
        {"ActivityInCourseUnlocksFollowingGrade", "x1 g1[s1[a1]]", "", "x1", "x1=C g1=U s1=U a1=U", nullptr},
        {"GradeBeforeCourseActivityUnlocksIt", "g1[s1[a1]] x1", "", "a1", "g1=C s1=C a1=C x1=U", nullptr},
        {"RefusedFirstSave", "g1[s1[a1 a2 a3]]", "", "a1", "g1=U s1=U a1=C a2=U a3=L", "WHEN 1"},
        {"RefusalMidChainUndoesTheWholeChain", "g1[s1[a1 a2] s2[b1 b2]]", "a1=C a2=U s2=L b1=L", "a2", "g1=U s1=C a1=C a2=C s2=U b1=L b2=L", "WHEN NEW.path = 'g1/s1'"},
        {"CommitRefusedByAReaderIsKept", "g1[s1[a1 a2 a3]]", "", "a1", "g1=U s1=U a1=C a2=U a3=L", "reader"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(run("DELETE FROM element_state"));
        login(QString::fromLatin1(c.course));
        setStates(c.before);
        AssertRecorder::clear();
        if (c.refuse) {
            const QString before = m_course->states();
            const bool reader = QLatin1String(c.refuse) == QLatin1String("reader");
            ASSERT_TRUE(reader || run(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON element_state %1 BEGIN "
                                                     "SELECT RAISE(ABORT, 'refused'); END").arg(QLatin1String(c.refuse))));
            {
                const std::unique_ptr<OtherProgram> other(reader ? new OtherProgram(m_file, "BEGIN; SELECT * FROM users")
                                                                 : nullptr);
                // another program in the way is a passing refusal: the change stands and is kept
                EXPECT_EQ(m_model->setElementState(el(c.complete), ElementState::COMPLETED), reader ? 0 : 200);
            }
            EXPECT_EQ(m_course->states(), reader ? QString::fromLatin1(c.after) : before);
            EXPECT_EQ(storedStates(), before);
            EXPECT_NE(sqlite3_get_autocommit(m_db.getDb()), 0);  // not left inside a transaction
            EXPECT_EQ(AssertRecorder::count(), reader ? 0 : 1);
            EXPECT_TRUE(LogCapture::instance().contains(reader ? QStringLiteral("state change kept")
                                                               : QStringLiteral("state change undone")));
            EXPECT_EQ(m_model->pendingRecords()->count(), reader ? 1 : 0);
            // the next save, once the other program is done, writes the kept change
            m_model->pendingRecords()->saveKept(&m_db);
            EXPECT_EQ(m_model->pendingRecords()->count(), 0);
            ASSERT_TRUE(run("DROP TRIGGER IF EXISTS refuse"));
            AssertRecorder::clear();
        }
        EXPECT_EQ(m_model->setElementState(el(c.complete), ElementState::COMPLETED), 0);
        EXPECT_EQ(m_course->states(), QString::fromLatin1(c.after));
        EXPECT_EQ(storedStates(), QString::fromLatin1(c.after));
        EXPECT_EQ(AssertRecorder::count(), 0);
    }
}

TEST_F(ModelTest, CompletedActivitiesAreCountedAndACompletedGradeIsNotUnlockedAgain)
{
    login(QStringLiteral("g1[s1[a1 a2 a3] x1 x2 s2[b1]] g2[s3[c1]]"));
    m_course->setStates(QStringLiteral("g1=C a1=C a3=C x1=C s2=C b1=C c1=C"));
    EXPECT_EQ(m_model->getCompletedActivityCount(dynamic_cast<LmsModuleElement*>(el("g1"))), 4);
    EXPECT_EQ(m_model->getCompletedActivityCount(m_course->course()), 5);
    EXPECT_EQ(m_model->unlockGrade(dynamic_cast<LmsModuleElement*>(el("g1"))), 0);
    EXPECT_EQ(m_course->states(), QStringLiteral("g1=C s1=U a1=C a2=L a3=C x1=C x2=L s2=C b1=C g2=L s3=L c1=C"));
}

TEST_F(ModelTest, CurrentActivityNotifiesObserversOfItsFlagOnceAndNoneClearsTheSelection)
{
    struct Recorder : FrameworkModel::Observer {
        Recorder() : FrameworkModel::Observer("recorder", FrameworkModel::CurrentActivityChanged) {}
        void frameworkModelChanged(FrameworkModel*, unsigned int flag) override { flags.append(flag); }
        QList<unsigned int> flags;
    } recorder;
    login(QStringLiteral("g1[s1[a1 a2] s2[b1]]"));
    m_model->registerObserver(&recorder);
    m_model->registerObserver(&recorder);
    ASSERT_EQ(m_model->setCurrentActivity(act("b1")), 0);  // the module changes too
    ASSERT_EQ(m_model->setCurrentActivity(nullptr), 0);
    EXPECT_EQ(recorder.flags, (QList<unsigned int>{8, 8}));
    EXPECT_TRUE(rows("SELECT path FROM element_state WHERE selected = 'true'").isEmpty());
}

TEST_F(ModelTest, SavedRatingIsTheSkillRatingOfTheCourseReadBackOldestFirst)
{
    login(QStringLiteral("g1[s1[q1 q2]]"));
    answer("g1/s1/q1", "", {0.75});
    answer("g1/s1/q2", "", {0.5});
    ASSERT_EQ(m_model->saveCurrentRating(true), 0);
    ASSERT_EQ(m_db.saveRating(2, -3, false), 0);
    ASSERT_EQ(m_model->saveCurrentRating(false), 0);
    EXPECT_EQ(rows("SELECT user_id, rating, practice FROM ratings ORDER BY id"),
              (QStringList{"1|625|1", "2|-3|0", "1|625|0"}));
    QList<Database::Rating> ratings;
    ASSERT_EQ(m_db.getRatings(ratings), 0);
    QStringList read;
    for (const Database::Rating& r : ratings)
        read << QStringLiteral("%1|%2|%3").arg(r.rating).arg(r.practice).arg(r.timestamp.isValid());
    EXPECT_EQ(read, (QStringList{"625|1|1", "-3|0|1", "625|0|1"}));
}

}  // namespace
