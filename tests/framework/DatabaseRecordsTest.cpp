// Accounts, settings, answers, marks and ratings: the rows as stored and as read back.
#include "DatabaseFixture.h"

#include <cmath>
#include <memory>

using edufrmwk::Database;
using edufrmwk::QuestionVariant;
using edufrmwk::UserInfo;

namespace {

class DatabaseRecords : public OpenDatabase {
protected:
    // Marks as read back, "path|mark|ratingDelta" with "*" for a missing timestamp.
    static QStringList text(const QList<Database::Mark>& marks)
    {
        QStringList out;
        for (const Database::Mark& m : marks)
            out << QStringLiteral("%1|%2|%3%4").arg(m.path).arg(m.mark).arg(m.ratingDelta).arg(
                m.timestamp.isValid() ? "" : "*");
        return out;
    }
    QStringList marks(const QString& pattern, bool validOnly = false, int limit = -1)
    {
        QList<Database::Mark> out;
        EXPECT_EQ(m_db.getMarks(1, out, pattern, validOnly, limit), 0) << pattern.toStdString();
        return text(out);
    }
    // An account as read back, "id|name|password|A or U|property=value ...", or its result code.
    QString user(const char* name)
    {
        UserInfo* info = nullptr;
        const int rc = m_db.getUser(QString::fromUtf8(name), &info);
        if (rc != 0)
            return QString::number(rc);
        const std::unique_ptr<UserInfo> owned(info);
        QString out = QStringLiteral("%1|%2|%3|").arg(info->getId()).arg(QString::fromUtf8(info->getName()),
                                                                         QString::fromUtf8(info->getPassword()));
        out += info->getType() == UserInfo::Administrator ? QLatin1Char('A') : QLatin1Char('U');
        for (const auto& property : info->getProperties())
            out += QStringLiteral("|%1=%2").arg(QString::fromStdString(property.first),
                                                QString::fromStdString(property.second));
        return out;
    }
};

// ---- accounts ------------------------------------------------------------------------------------

TEST_F(DatabaseRecords, AccountsCreateReadUpdateRemove)
{
    UserInfo ann(0, "ann o'hara", "S3cret'%", UserInfo::User);
    EXPECT_EQ(m_db.createUser(&ann), 0);
    EXPECT_EQ(m_db.createUser(&ann), 204);
    UserInfo sameName(0, "ann o'hara", "other", UserInfo::Administrator);
    EXPECT_EQ(m_db.createUser(&sameName), 204);
    EXPECT_EQ(rows("SELECT name, password, admin FROM users WHERE id = 3"),
              QStringList{"ann o'hara|S3cret'%|false"});

    EXPECT_EQ(user("ann o'hara"), QStringLiteral("3|ann o'hara|S3cret'%|U"));
    UserInfo* read = &ann;
    EXPECT_EQ(m_db.getUser(QStringLiteral("Ann O'Hara"), &read), 205);  // names compare with letter case
    EXPECT_EQ(read, &ann);                                               // out untouched

    UserInfo promoted(0, "ann o'hara", "new", UserInfo::Administrator);
    EXPECT_EQ(m_db.updateUser(&promoted), 0);
    EXPECT_EQ(rows("SELECT password, admin FROM users WHERE id = 3"), QStringList{"new|true"});
    UserInfo ghost(0, "ghost", "x", UserInfo::User);
    EXPECT_EQ(m_db.updateUser(&ghost), 0);  // no row is no failure

    EXPECT_EQ(m_db.removeUser(&promoted), 0);
    EXPECT_EQ(rows("SELECT name FROM users ORDER BY id"), (QStringList{"user", "admin"}));
}

TEST_F(DatabaseRecords, AdminFlagPropertiesAndRemovingAll)
{
    // admin is true only for the exact word; properties come in order, NULL as empty
    ASSERT_TRUE(run("INSERT INTO users (name, password, admin) VALUES ('a', 'p', 'TRUE'), ('b', 'p', '1'), "
                    "('c', 'p', 'true')"));
    ASSERT_TRUE(run("INSERT INTO user_properties (name, value, user_id) VALUES ('level', '3', 1), "
                    "('nick', NULL, 1), ('other', 'x', 2)"));
    EXPECT_EQ(QStringList({user("a"), user("b"), user("c"), user("user")}),
              QStringList({"3|a|p|U", "4|b|p|U", "5|c|p|A", "1|user|quillfen|U|level=3|nick="}));
    EXPECT_EQ(m_db.removeAllUsers(false), 0);  // administrators stay unless all go
    EXPECT_EQ(rows("SELECT name FROM users"), (QStringList{"admin", "c"}));
    EXPECT_EQ(m_db.removeAllUsers(true), 0);
    EXPECT_TRUE(rows("SELECT name FROM users").isEmpty());
}

TEST_F(DatabaseRecords, RemovingAnAccountFailsWhileItHasMarksAndOtherwiseCascades)
{
    ASSERT_EQ(m_db.saveMark(1, QStringLiteral("g/s/a"), 0.5, 2), 0);
    ASSERT_EQ(m_db.saveAnswer(1, {"g/s/a", ""}, 0.5), 0);
    ASSERT_EQ(m_db.saveRating(1, 700, false), 0);
    ASSERT_EQ(m_db.saveAnswer(2, {"g/s/a", ""}, 0.25), 0);
    UserInfo user(0, "user", "quillfen", UserInfo::User);
    EXPECT_EQ(m_db.removeUser(&user), 200);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("removeUser: db error - FOREIGN KEY constraint failed")));
    EXPECT_EQ(rows("SELECT count(*) FROM answers"), QStringList{"2"});
    EXPECT_EQ(rows("SELECT count(*) FROM users"), QStringList{"2"});

    ASSERT_TRUE(run("DELETE FROM marks"));
    EXPECT_EQ(m_db.removeUser(&user), 0);
    EXPECT_EQ(rows("SELECT user_id, correctness FROM answers"), QStringList{"2|0.25"});
    EXPECT_TRUE(rows("SELECT * FROM ratings").isEmpty());
}

// ---- settings ------------------------------------------------------------------------------------

TEST_F(DatabaseRecords, SettingsStoreOneRowPerNameAndReadBackUnchanged)
{
    QString value = QStringLiteral("unchanged");
    EXPECT_EQ(m_db.getSetting(QStringLiteral("never"), value), 200);
    EXPECT_EQ(value, QStringLiteral("unchanged"));
    EXPECT_TRUE(LogCapture::instance().lines().isEmpty());  // a missing row is no error

    const QString device = QStringLiteral("Ann's \u00e9couteurs 100% _x_ @home");
    EXPECT_EQ(m_db.saveSetting(QStringLiteral("audio/output"), QStringLiteral("first")), 0);
    EXPECT_EQ(m_db.saveSetting(QStringLiteral("audio/output"), device), 0);
    EXPECT_EQ(rows("SELECT name, value FROM settings"), QStringList{QStringLiteral("audio/output|") + device});
    EXPECT_EQ(m_db.getSetting(QStringLiteral("audio/output"), value), 0);
    EXPECT_EQ(value, device);

    ASSERT_TRUE(run("DROP TABLE settings"));  // a failed save is 200 with its error line
    EXPECT_EQ(m_db.saveSetting(QStringLiteral("volume"), QStringLiteral("3")), 200);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("saveSetting: db error - no such table: settings")));
}

// ---- answers -------------------------------------------------------------------------------------

TEST_F(DatabaseRecords, AnswersAreStoredFlatWithTwoDecimals)
{
    EXPECT_EQ(m_db.saveAnswer(1, {"grade/intervals/thirds", "major"}, 0.666), 0);
    EXPECT_EQ(m_db.saveAnswer(2, {"grade/intervals/thirds", ""}, 1.0), 0);
    const QStringList stored = rows("SELECT id, user_id, variant, correctness, timestamp FROM answers ORDER BY id");
    ASSERT_EQ(stored.size(), 2);
    EXPECT_TRUE(stored[0].startsWith(QStringLiteral("1|1|grade/intervals/thirds@major|0.67|")));
    EXPECT_TRUE(stored[1].startsWith(QStringLiteral("2|2|grade/intervals/thirds@|1.0|")));
    const QString stamp = stored[0].section(QLatin1Char('|'), 4);
    EXPECT_TRUE(QRegExp(QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d")).exactMatch(stamp));
    // Local time, as SQLite's datetime('now', 'localtime') writes it.
    EXPECT_LE(qAbs(Database::parseTimestamp(stamp).secsTo(QDateTime::currentDateTime())), 5);
}

TEST_F(DatabaseRecords, AnswersAreReadNewestFirstPerVariantWithinTheLimitForAllUsers)
{
    // Three variants answered in turn by two users, ten rounds: each list holds its own newest.
    const QList<QuestionVariant> variants = {{"g/s/a", "x"}, {"g/s/b", ""}, {"g/s/a", "y"}};
    for (int round = 0; round < 10; ++round)
        for (int v = 0; v < variants.size(); ++v)
            ASSERT_EQ(m_db.saveAnswer(round % 2 + 1, variants[v], round / 10.0 + v / 100.0), 0);
    Database::AnswerMap answers;
    ASSERT_EQ(m_db.getAnswers(answers, 3, false), 0);
    ASSERT_EQ(answers.keys(), (QList<QuestionVariant>{variants[0], variants[2], variants[1]}));
    for (int v = 0; v < variants.size(); ++v) {
        const QList<Database::Answer>& list = answers[variants[v]];
        ASSERT_EQ(list.size(), 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_DOUBLE_EQ(list[i].correctness, (9 - i) / 10.0 + v / 100.0);
            EXPECT_FALSE(list[i].timestamp.isValid());  // not asked for
        }
    }
    ASSERT_EQ(m_db.getAnswers(answers), 0);  // no limit; readers append
    EXPECT_EQ(answers[variants[1]].size(), 13);
    EXPECT_DOUBLE_EQ(answers[variants[1]].last().correctness, 0.01);
    EXPECT_TRUE(answers[variants[1]].last().timestamp.isValid());
}

TEST_F(DatabaseRecords, AwkwardTagsAndPathsRoundTrip)
{
    // Quotes, percent signs, underscores and "@" inside the tag: split at the first "@". "a/b@c" and
    // "a/bc@" are different variants, compared by path then tag.
    const QList<QuestionVariant> variants = {
        {"g/s/a", "it's 100%"}, {"g/s/a", "user@host"}, {"g/s/a", "@"}, {"g/s/a_b", "x_y"}, {"g/s/a", ""},
        {"g/s/\u00e4", "\u266b"}, {"a/b", "c"}, {"a/bc", ""}};
    EXPECT_TRUE(variants[6] < variants[7]);
    EXPECT_FALSE(variants[7] < variants[6]);
    for (const QuestionVariant& v : variants)
        ASSERT_EQ(m_db.saveAnswer(1, v, 0.5), 0) << v.flatten().toStdString();
    EXPECT_EQ(rows("SELECT variant FROM answers ORDER BY id"),
              (QStringList{"g/s/a@it's 100%", "g/s/a@user@host", "g/s/a@@", "g/s/a_b@x_y", "g/s/a@",
                           QStringLiteral("g/s/\u00e4@\u266b"), "a/b@c", "a/bc@"}));

    Database::AnswerMap answers;
    ASSERT_EQ(m_db.getAnswers(answers, 20), 0);
    EXPECT_EQ(answers.size(), variants.size());
    for (const QuestionVariant& v : variants)
        EXPECT_EQ(answers.value(v).size(), 1) << v.flatten().toStdString();
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(DatabaseRecords, ForeignVariantWithoutSeparatorIsSkippedNotFatal)
{
    ASSERT_TRUE(run("INSERT INTO answers (user_id, variant, timestamp, correctness) VALUES "
                    "(1, 'no separator', '2020-01-01 10:00:00', 0.5)"));
    ASSERT_EQ(m_db.saveAnswer(1, {"g/s/a", "t"}, 0.25), 0);
    Database::AnswerMap answers;
    EXPECT_EQ(m_db.getAnswers(answers, 20), 0);
    EXPECT_EQ(answers.keys(), QList<QuestionVariant>{QuestionVariant("g/s/a", "t")});
    EXPECT_EQ(AssertRecorder::count(), 0);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("skipping answers of variant 'no separator'")));
    EXPECT_EQ(m_db.saveAnswer(1, {"g/s/a", ""}, std::nan("")), 200);  // a NaN is refused
    EXPECT_EQ(rows("SELECT count(*) FROM answers"), QStringList{"2"});
}

// ---- marks and ratings ---------------------------------------------------------------------------

TEST_F(DatabaseRecords, MarksAreStoredAndReadNewestFirst)
{
    ASSERT_EQ(m_db.saveMark(1, QStringLiteral("g1/s/quiz"), 0.8, 5), 0);
    ASSERT_EQ(m_db.saveMark(1, QStringLiteral("g1/exam"), -1.0, 0), 0);
    ASSERT_EQ(m_db.saveMark(1, QStringLiteral("g1/s/quiz"), 0.333, -2), 0);
    ASSERT_EQ(m_db.saveMark(2, QStringLiteral("g1/s/quiz"), 1.0, 1), 0);
    EXPECT_EQ(rows("SELECT user_id, path, mark, ratingDelta FROM marks ORDER BY id"),
              (QStringList{"1|g1/s/quiz|0.8|5", "1|g1/exam|-1.0|0", "1|g1/s/quiz|0.33|-2", "2|g1/s/quiz|1.0|1"}));

    EXPECT_EQ(marks(QString()), (QStringList{"g1/s/quiz|0.33|-2", "g1/exam|-1|0", "g1/s/quiz|0.8|5"}));
    EXPECT_EQ(marks(QString(), true), (QStringList{"g1/s/quiz|0.33|-2", "g1/s/quiz|0.8|5"}));
    EXPECT_EQ(marks(QString(), false, 1), QStringList{"g1/s/quiz|0.33|-2"});
}

TEST_F(DatabaseRecords, MarkPatternsAreValuesAndExactPathsAreExact)
{
    for (const char* path : {"g1/s/quiz", "g2/t/quiz", "g1/exam", "g1/s/exam_x", "g1/sXquiz", "g1/s_quiz"})
        ASSERT_EQ(m_db.saveMark(1, QString::fromLatin1(path), 0.5, 0), 0);
    // The patterns the screens use, with doubled or single percent signs alike.
    EXPECT_EQ(marks(QStringLiteral("%%/%%/quiz")), (QStringList{"g2/t/quiz|0.5|0", "g1/s/quiz|0.5|0"}));
    EXPECT_EQ(marks(QStringLiteral("%/exam")), QStringList{"g1/exam|0.5|0"});
    EXPECT_TRUE(marks(QStringLiteral("it's")).isEmpty());

    // One path means that path: "_" and "%" are no wildcards, and a quote does no harm.
    QList<Database::Mark> one;
    ASSERT_EQ(m_db.getMarksOfPath(1, one, QStringLiteral("g1/s_quiz"), true, -1), 0);
    EXPECT_EQ(text(one), QStringList{"g1/s_quiz|0.5|0"});
    for (const char* path : {"g1/s%quiz", "g1/s'quiz"}) {
        QList<Database::Mark> none;
        EXPECT_EQ(m_db.getMarksOfPath(1, none, QString::fromLatin1(path), true, -1), 0);
        EXPECT_TRUE(none.isEmpty()) << path;
    }
}

TEST_F(DatabaseRecords, RatingsAreReadOldestFirstWithThePracticeFlag)
{
    ASSERT_EQ(m_db.saveRating(1, 625, false), 0);
    ASSERT_EQ(m_db.saveRating(2, 700, true), 0);
    ASSERT_EQ(m_db.saveRating(1, -3, false), 0);
    EXPECT_EQ(rows("SELECT user_id, rating, practice FROM ratings ORDER BY id"),
              (QStringList{"1|625|0", "2|700|1", "1|-3|0"}));
    QList<Database::Rating> ratings;
    ASSERT_EQ(m_db.getRatings(ratings), 0);
    QStringList read;
    for (const Database::Rating& r : ratings)
        read << QStringLiteral("%1|%2|%3").arg(r.rating).arg(r.practice).arg(r.timestamp.isValid());
    EXPECT_EQ(read, (QStringList{"625|0|1", "700|1|1", "-3|0|1"}));
}

}  // namespace
