// The skill rating a save measures: read once a transaction and carried along the answers it saves,
// it is the value a fresh read of the answers table gives before each record.
#include "FrameworkFixtures.h"

#include "framework/PendingRecords.h"
#include "framework/SkillRating.h"

#include <QDir>
#include <QSet>

#include <iterator>
#include <random>
#include <vector>

using namespace edufrmwk;

namespace {

int countCommit(void* commits)
{
    ++*static_cast<int*>(commits);
    return 0;  // go on with the commit
}

class Rating : public OpenDatabase {
protected:
    // Answers mixed with marks and ratings measured at their save, as a long session leaves them:
    // variants that pass 20 answers, variants first answered in the middle, correctness that SQLite
    // and the C library round apart (0.125: "0.13" and "0.12"), and answers the database refuses.
    static QList<PendingRecords::Record> session(int records)
    {
        const QuestionVariant variants[] = {{"g1/s1/q1", ""},  {"g1/s1/q1", "maj"}, {"g1/s1/q2", "min"},
                                            {"g1/s2/q3", ""},  {"g1/q4", "x"},      {"a/b", "c"},
                                            {"gone/q9", "late"}, {"g1/s2/q3", "late"}};
        const double values[] = {0.125, 0.375, 0.625, 0.875, 0.005, 0.015, 0.145, 0.335, 1.0 / 3, 0.1, 0.7, 1.0, 0.0};
        std::mt19937 random(11);
        QList<PendingRecords::Record> out;
        for (int i = 0; i < records; ++i) {
            const int pick = static_cast<int>(random() % 10);
            if (pick < 6) {
                // the last two variants are answered only from the middle on
                const int variant = static_cast<int>(random() % (i < records / 2 ? 6 : 8));
                const double value = pick == 0 ? (random() % 1000) / 1000.0 : values[random() % std::size(values)];
                out << PendingRecords::answer(1, variants[variant], value);
            } else if (pick < 8) {
                out << PendingRecords::markMeasuredAtSave(1, QStringLiteral("g1/s1/q1"), 0.5,
                                                          static_cast<int>(random() % 1001));
            } else if (pick < 9) {
                out << PendingRecords::ratingMeasuredAtSave(1, random() % 2 == 0);
            } else {
                out << PendingRecords::answer(1, variants[random() % 6], 0.77);  // refused
            }
        }
        return out;
    }
    // Records kept in folder that read the rating from stats, counting the reads.
    static void keep(PendingRecords& pending, const QString& folder, StatisticsEngine& stats, int& reads)
    {
        pending.setFolders({folder}, QStringLiteral("Brisola"));
        pending.setRatingSource([&stats, &reads](SkillRating& rating) {
            ++reads;
            return stats.readSkillRating(rating);
        });
    }
    // The answers of earlier sessions, and a trigger that refuses the answers of 0.77.
    static void prepare(Database& db)
    {
        const double earlier[] = {0.3, 0.6, 0.9, 0.15, 0.45, 0.75, 0.05, 0.35, 0.65, 0.95, 0.2,
                                  0.4, 0.6, 0.8, 1.0,  0.1,  0.3,  0.5,  0.7,  0.9,  0.33};
        for (double value : earlier)
            ASSERT_EQ(db.saveAnswer(1, {QStringLiteral("g1/s2/q3"), QString()}, value), 0);
        ASSERT_EQ(db.saveAnswer(1, {QStringLiteral("g1/s1/q1"), QString()}, 0.125), 0);
        DatabaseQuery q(&db);
        q.exec("CREATE TRIGGER refuse BEFORE INSERT ON answers WHEN NEW.correctness = 0.77 "
               "BEGIN SELECT RAISE(ABORT, 'refused'); END");
        ASSERT_TRUE(q.isOK());
    }
    // What the saves measured: the marks' changes and the ratings, each in order.
    static QStringList measured(const QString& file)
    {
        return sqlRows(file, "SELECT 'mark ' || ratingDelta FROM marks ORDER BY id")
            + sqlRows(file, "SELECT 'rating ' || rating FROM ratings ORDER BY id");
    }
};

TEST_F(Rating, ARecoveryReadsTheAnswersOncePerTransactionAndMeasuresWhatAReadBeforeEachRecordMeasures)
{
    useCourse(QStringLiteral("g1[s1[q1 q2] s2[q3] q4]"));
    prepare(m_db);
    const QList<PendingRecords::Record> records = session(2000);

    // the reference: a database of its own, each record saved alone, the answers read for each
    Database alone;
    ASSERT_EQ(alone.initialize(m_dir.filePath(QStringLiteral("reference.db"))), 0);
    DatabaseQuery(&alone).exec("PRAGMA synchronous = OFF");  // a commit a record: no need to wait for the disk
    prepare(alone);
    StatisticsEngine aloneStats;
    aloneStats.initialize(&alone);
    aloneStats.setCourse(m_course->course());
    // a folder for the side file of what the database refuses, as the program has beside the database
    const QString aloneFolder = m_dir.filePath(QStringLiteral("alone"));
    ASSERT_TRUE(QDir().mkdir(aloneFolder));
    PendingRecords one;
    int aloneReads = 0;
    keep(one, aloneFolder, aloneStats, aloneReads);
    for (const PendingRecords::Record& r : records)
        one.save(&alone, {r});

    // the same records kept by a run that could not save them, then recovered by the next one
    const QString folder = m_dir.filePath(QStringLiteral("kept"));
    ASSERT_TRUE(QDir().mkdir(folder));
    {
        PendingRecords ended;
        ended.setFolders({folder}, QStringLiteral("Brisola"));
        OtherProgram other(m_file, "BEGIN EXCLUSIVE");
        EXPECT_EQ(ended.save(&m_db, records), PendingRecords::Kept);
        ASSERT_EQ(ended.count(), records.count());
    }
    PendingRecords next;
    int reads = 0;
    keep(next, folder, m_stats, reads);
    int commits = 0;
    sqlite3_commit_hook(m_db.getDb(), &countCommit, &commits);
    EXPECT_EQ(next.load(), records.count());
    next.saveKept(&m_db);
    sqlite3_commit_hook(m_db.getDb(), nullptr, nullptr);
    EXPECT_EQ(next.count(), 0);

    const QString reference = m_dir.filePath(QStringLiteral("reference.db"));
    const QStringList byRecord = measured(reference);
    EXPECT_EQ(measured(m_file), byRecord);
    EXPECT_EQ(rows("SELECT variant, correctness FROM answers ORDER BY id"),
              sqlRows(reference, "SELECT variant, correctness FROM answers ORDER BY id"));
    // what the comparison rests on: many measures, of many values, and refused answers among them
    EXPECT_GT(byRecord.count(), 500);
    EXPECT_GT(QSet<QString>(byRecord.begin(), byRecord.end()).count(), 200);
    EXPECT_EQ(aloneReads, byRecord.count());
    EXPECT_EQ(next.refusedCount(), one.refusedCount());
    EXPECT_GT(next.refusedCount(), 150);
    // once a transaction at most, not once a record
    EXPECT_GE(reads, 1);
    EXPECT_LE(reads, commits);
    EXPECT_EQ(AssertRecorder::count(), 0);
}

// A transaction that rolls back takes its answers with it: the next one reads them again.
TEST_F(Rating, AnAnswerOfATransactionThatRollsBackIsNotCounted)
{
    useCourse(QStringLiteral("g1[s1[q1]]"));
    // the third record ends the whole transaction: the answer before it is gone with it
    ASSERT_TRUE(run("CREATE TRIGGER undo BEFORE INSERT ON ratings WHEN (SELECT count(*) FROM ratings) = 0 "
                    "BEGIN SELECT RAISE(ROLLBACK, 'undone'); END"));
    PendingRecords pending;
    pending.setFolders({m_dir.path()}, QStringLiteral("Brisola"));
    pending.setRatingSource([this](SkillRating& rating) { return m_stats.readSkillRating(rating); });
    pending.save(&m_db, {PendingRecords::markMeasuredAtSave(1, QStringLiteral("g1/s1/q1"), 0.5, 0),
                         PendingRecords::answer(1, {QStringLiteral("g1/s1/q1"), QString()}, 1.0),
                         PendingRecords::rating(1, 0, false),
                         PendingRecords::markMeasuredAtSave(1, QStringLiteral("g1/s1/q1"), 0.5, 0)});
    EXPECT_EQ(pending.refusedCount(), 1);
    EXPECT_EQ(rows("SELECT count(*) FROM answers"), QStringList{"1"});
    EXPECT_EQ(rows("SELECT ratingDelta FROM marks ORDER BY id"), (QStringList{"0", "1000"}));
}

}  // namespace
