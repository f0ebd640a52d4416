// Accounts, settings, answers and marks: the rows as stored and as read back.
#include "FrameworkFixtures.h"

#include <cmath>
#include <memory>

using edufrmwk::Database;
using edufrmwk::QuestionVariant;
using edufrmwk::UserInfo;

namespace {

class DatabaseRecords : public OpenDatabase {
protected:
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

TEST_F(DatabaseRecords, AccountsAreKeptByTheirExactName)
{
    UserInfo ann(0, "ann o'hara", "S3cret'%", UserInfo::User);
    EXPECT_EQ(m_db.createUser(&ann), 0);
    UserInfo promoted(0, "ann o'hara", "new", UserInfo::Administrator);
    EXPECT_EQ(m_db.createUser(&promoted), 204);
    EXPECT_EQ(user("Ann O'Hara"), QStringLiteral("205"));  // names compare with letter case
    EXPECT_EQ(rows("SELECT id, name, password, admin FROM users WHERE id = 3"),
              QStringList{"3|ann o'hara|S3cret'%|false"});
    EXPECT_EQ(m_db.updateUser(&promoted), 0);
    EXPECT_EQ(rows("SELECT password, admin FROM users WHERE id = 3"), QStringList{"new|true"});

    // admin is true only for the exact word; properties come in order, NULL as empty
    ASSERT_TRUE(run("INSERT INTO users (name, password, admin) VALUES ('a', 'p', 'TRUE'), ('b', 'p', '1')"));
    ASSERT_TRUE(run("INSERT INTO user_properties (name, value, user_id) VALUES ('level', '3', 1), "
                    "('nick', NULL, 1), ('other', 'x', 2)"));
    EXPECT_EQ(QStringList({user("a"), user("b"), user("ann o'hara"), user("user")}),
              QStringList({"4|a|p|U", "5|b|p|U", "3|ann o'hara|new|A", "1|user|quillfen|U|level=3|nick="}));
    EXPECT_EQ(m_db.removeUser(&promoted), 0);
    EXPECT_EQ(m_db.removeAllUsers(false), 0);  // administrators stay unless all go
    EXPECT_EQ(rows("SELECT name FROM users"), QStringList{"admin"});
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
    EXPECT_EQ(rows("SELECT count(*) FROM users"), QStringList{"2"});

    ASSERT_TRUE(run("DELETE FROM marks"));
    EXPECT_EQ(m_db.removeUser(&user), 0);
    EXPECT_EQ(rows("SELECT user_id, correctness FROM answers"), QStringList{"2|0.25"});
    EXPECT_TRUE(rows("SELECT * FROM ratings").isEmpty());
}

TEST_F(DatabaseRecords, SettingsStoreOneRowPerNameAndReportAFailedSave)
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

    ASSERT_TRUE(run("DROP TABLE settings"));
    EXPECT_EQ(m_db.saveSetting(QStringLiteral("volume"), QStringLiteral("3")), 200);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("saveSetting: db error - no such table: settings")));
}

TEST_F(DatabaseRecords, AnswersAreStoredFlatAndReadBackAsTheirOwnVariants)
{
    // Quotes, percent signs, underscores and "@" in the tag (split at the first "@"); "a/b@c" and
    // "a/bc@" are different variants.
    const QList<QuestionVariant> variants = {
        {"g/s/a", "it's 100%"}, {"g/s/a", "user@host"}, {"g/s/a", "@"}, {"g/s/a_b", "x_y"}, {"g/s/a", ""},
        {"g/s/\u00e4", "\u266b"}, {"a/b", "c"}, {"a/bc", ""}};
    for (const QuestionVariant& v : variants)
        ASSERT_EQ(m_db.saveAnswer(1, v, 0.666), 0) << v.flatten().toStdString();
    EXPECT_EQ(m_db.saveAnswer(2, {"g/s/a", ""}, std::nan("")), 200);
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("refusing answer of g/s/a@: correctness is not a number")));
    ASSERT_TRUE(run("INSERT INTO answers (user_id, variant, timestamp, correctness) VALUES "
                    "(2, 'no separator', '2020-01-01 10:00:00', 1.0)"));
    EXPECT_EQ(rows("SELECT user_id, variant, correctness FROM answers ORDER BY id"),
              (QStringList{"1|g/s/a@it's 100%|0.67", "1|g/s/a@user@host|0.67", "1|g/s/a@@|0.67",
                           "1|g/s/a_b@x_y|0.67", "1|g/s/a@|0.67", QStringLiteral("1|g/s/\u00e4@\u266b|0.67"),
                           "1|a/b@c|0.67", "1|a/bc@|0.67", "2|no separator|1.0"}));
    // Local time, as SQLite's datetime('now', 'localtime') writes it.
    const QString stamp = rows("SELECT timestamp FROM answers WHERE id = 1").value(0);
    EXPECT_TRUE(QRegExp(QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d")).exactMatch(stamp));
    EXPECT_LE(qAbs(Database::parseTimestamp(stamp).secsTo(QDateTime::currentDateTime())), 5);

    Database::AnswerMap answers;
    ASSERT_EQ(m_db.getAnswers(answers, 20), 0);
    EXPECT_EQ(answers.size(), variants.size());
    for (const QuestionVariant& v : variants)
        EXPECT_EQ(answers.value(v).size(), 1) << v.flatten().toStdString();
    EXPECT_TRUE(LogCapture::instance().contains(QStringLiteral("skipping answers of variant 'no separator'")));
    EXPECT_EQ(AssertRecorder::count(), 0);
}

TEST_F(DatabaseRecords, MarksAreReadNewestFirstByPatternOrByExactPath)
{
    const struct { int user; const char* path; double mark; int delta; } saved[] = {
        {1, "g1/s/quiz", 0.8, 5}, {1, "g1/exam", -1.0, 0}, {1, "g1/s_quiz", 0.333, -2}, {2, "g1/s/quiz", 1.0, 1},
        {1, "g2/t/quiz", 0.5, 0}, {1, "g1/sXquiz", 0.5, 0}};
    for (const auto& m : saved)
        ASSERT_EQ(m_db.saveMark(m.user, QString::fromLatin1(m.path), m.mark, m.delta), 0);

    // pattern (the screens' doubled percent signs or single ones) or exact path, valid only, limit
    const struct { bool exact; const char* path; bool validOnly; int limit; const char* expected; } reads[] = {
        {false, "", false, -1, "g1/sXquiz|0.5|0 g2/t/quiz|0.5|0 g1/s_quiz|0.33|-2 g1/exam|-1|0 g1/s/quiz|0.8|5"},
        {false, "", true, -1, "g1/sXquiz|0.5|0 g2/t/quiz|0.5|0 g1/s_quiz|0.33|-2 g1/s/quiz|0.8|5"},
        {false, "", false, 1, "g1/sXquiz|0.5|0"},
        {false, "%%/%%/quiz", false, -1, "g2/t/quiz|0.5|0 g1/s/quiz|0.8|5"},
        {false, "%/exam", false, -1, "g1/exam|-1|0"},
        // one path means that path: "_" and "%" are no wildcards, and a quote does no harm
        {true, "g1/s_quiz", true, -1, "g1/s_quiz|0.33|-2"},
        {true, "g1/s%quiz", true, -1, ""},
        {true, "g1/s'quiz", true, -1, ""},
    };
    for (const auto& r : reads) {
        SCOPED_TRACE(r.path);
        QList<Database::Mark> marks;
        const QString path = QString::fromLatin1(r.path);
        ASSERT_EQ(r.exact ? m_db.getMarksOfPath(1, marks, path, r.validOnly, r.limit)
                          : m_db.getMarks(1, marks, path, r.validOnly, r.limit),
                  0);
        QStringList text;
        for (const Database::Mark& m : marks)
            text << QStringLiteral("%1|%2|%3").arg(m.path).arg(m.mark).arg(m.ratingDelta);
        EXPECT_EQ(text.join(QLatin1Char(' ')), QLatin1String(r.expected));
    }
}

}  // namespace
