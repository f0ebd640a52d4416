// Times the statistics engine over 100,000 answers of 500 variants (250 exercises, two tags each,
// 200 answers per variant), the first login on a course of 2,000 elements (10 grades x 10 subjects
// x 19 exercises, plus the course) and the recovery of 4,000 marks and ratings measured at their
// save over those answers. Prints the median of the timed runs (the recovery: one run).

#include "debug/Debugging.h"
#include "framework/Database.h"
#include "framework/ElementState.h"
#include "framework/FrameworkModel.h"
#include "framework/PendingRecords.h"
#include "framework/SkillRating.h"
#include "framework/StatisticsEngine.h"
#include "framework/UserSession.h"
#include "lms/LmsCourse.h"
#include "lms/LmsExerciseActivity.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <vector>

using namespace edufrmwk;

namespace {

constexpr int Grades = 10;
constexpr int SubjectsPerGrade = 10;
constexpr int ActivitiesPerSubject = 19;
constexpr int AnsweredActivities = 250;
constexpr int AnswersPerVariant = 200;
constexpr int Runs = 11;
constexpr int RecoveredRecords = 4000;

struct Course {
    std::unique_ptr<LmsCourse> course;
    std::vector<std::unique_ptr<ElementState>> states;
    QStringList exercisePaths;
    int elements = 0;
};

std::unique_ptr<Course> makeCourse()
{
    auto c = std::make_unique<Course>();
    c->course.reset(new LmsCourse(QStringLiteral("Course")));
    auto name = [](const char* stem, int i) { return QStringLiteral("%1_%2%3").arg(i + 1, 2, 10, QLatin1Char('0')).arg(QLatin1String(stem)).arg(i); };
    c->states.emplace_back(new ElementState(c->course.get()));
    for (int g = 0; g < Grades; ++g) {
        auto* grade = new LmsModuleElement(QStringLiteral("Grade %1").arg(g), name("grade", g), c->course.get());
        c->states.emplace_back(new ElementState(grade));
        for (int s = 0; s < SubjectsPerGrade; ++s) {
            auto* subject = new LmsModuleElement(QStringLiteral("Subject %1.%2").arg(g).arg(s), name("subject", s), grade);
            c->states.emplace_back(new ElementState(subject));
            for (int a = 0; a < ActivitiesPerSubject; ++a) {
                auto* activity = new LmsExerciseActivity(QStringLiteral("Exercise %1").arg(a), name("exercise", a), subject);
                c->states.emplace_back(new ElementState(activity));
                c->exercisePaths << activity->getNormalizedElementPath();
            }
        }
    }
    c->elements = static_cast<int>(c->states.size());
    return c;
}

// The data generator writes the rows directly, in the stored format, in one transaction.
bool fillAnswers(const QString& file, const QStringList& paths)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(file.toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO answers (user_id, variant, timestamp, correctness) VALUES (1, ?, ?, ?)", -1,
                       &insert, nullptr);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> cents(0, 100);
    // Answers of all variants interleaved in time, as practice produces them.
    for (int round = 0; round < AnswersPerVariant; ++round) {
        for (int a = 0; a < AnsweredActivities; ++a) {
            for (const char* tag : {"pitch", "rhythm"}) {
                const QByteArray variant = (paths.at(a * 7 % paths.size()) + QLatin1Char('@') + QLatin1String(tag)).toUtf8();
                const QByteArray stamp = QStringLiteral("2026-01-%1 10:%2:%3")
                                             .arg(1 + round % 28, 2, 10, QLatin1Char('0'))
                                             .arg(a % 60, 2, 10, QLatin1Char('0'))
                                             .arg(round % 60, 2, 10, QLatin1Char('0'))
                                             .toLatin1();
                sqlite3_bind_text(insert, 1, variant.constData(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(insert, 2, stamp.constData(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_double(insert, 3, cents(random) / 100.0);
                sqlite3_step(insert);
                sqlite3_reset(insert);
            }
        }
    }
    sqlite3_finalize(insert);
    const bool ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timeRuns(const std::function<void()>& run)
{
    std::vector<double> ms;
    for (int i = 0; i < Runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    return median(ms);
}

// What reading the answers one query per variant costs (the statement per variant, rows through Query).
void readPerVariant(Database& db, int limit)
{
    Database::Query outer(&db);
    outer.exec("SELECT DISTINCT variant FROM answers");
    for (unsigned long row = 0; row < outer.numRows(); ++row) {
        QString flat;
        outer.getValue(row, "variant", flat);
        Database::Query inner(&db);
        inner.exec("SELECT timestamp, correctness FROM answers WHERE variant='%q' ORDER BY id DESC LIMIT %d;",
                   flat.toUtf8().constData(), limit);
    }
}

// An ended run's file of marks and ratings, each measured when it is saved.
bool writeKeptFile(const QString& path, const QStringList& paths)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QByteArray text = "{\"records\":[";
    for (int i = 0; i < RecoveredRecords; ++i) {
        const QByteArray common = "\"user\":1,\"time\":\"2026-02-01T10:00:00.000\",\"id\":\"bench-"
            + QByteArray::number(i) + "\"";
        if (i > 0)
            text += ',';
        if (i % 2 == 0)
            text += "{\"kind\":\"mark\"," + common + ",\"path\":\"" + paths.at(i / 2 % paths.size()).toUtf8()
                + "\",\"value\":0.5,\"ratingDelta\":0,\"rating\":0,\"measuredAtSave\":true,\"run\":\"0\"}";
        else
            text += "{\"kind\":\"rating\"," + common + ",\"rating\":0,\"measuredAtSave\":true,\"practice\":false}";
    }
    text += "]}";
    return out.write(text) == text.size();
}

void report(const char* what, double ms, double goalMs = 100.0)
{
    if (ms < goalMs)
        std::printf("%-52s %9.2f ms\n", what, ms);
    else
        std::printf("%-52s %9.2f ms (over the %.0f ms goal)\n", what, ms, goalMs);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Debugging::setLoggingLevel(QsLogging::ErrorLevel);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    std::unique_ptr<Course> course = makeCourse();
    std::printf("course: %d elements, %d exercises\n", course->elements, static_cast<int>(course->exercisePaths.size()));

    const QString statsFile = dir.filePath(QStringLiteral("stats.db"));
    Database db;
    if (db.initialize(statsFile) != RC_OK || !fillAnswers(statsFile, course->exercisePaths))
        return 1;
    Database::Query count(&db);
    count.exec("SELECT count(*) AS n, count(DISTINCT variant) AS v FROM answers");
    QString n, v;
    count.getValue(0, "n", n);
    count.getValue(0, "v", v);
    std::printf("answers: %s over %s variants\n\n", qPrintable(n), qPrintable(v));

    StatisticsEngine engine;
    engine.initialize(&db);
    engine.setCourse(course->course.get());

    int checksum = 0;
    report("read answers with times, limit 20 (one pass)", timeRuns([&] {
        Database::AnswerMap m;
        db.getAnswers(m, 20);
        checksum += m.size();
    }));
    report("read answers, limit 20 (a query per variant)", timeRuns([&] { readPerVariant(db, 20); }));
    report("average variant outcomes", timeRuns([&] {
        QMap<QString, double> out;
        engine.getAverageVariantOutcomes(out);
        checksum += out.size();
    }));
    report("question recommendations (count 20)", timeRuns([&] {
        QList<StatisticsEngine::Recommendation> out;
        engine.getQuestionRecommendations(out, 20);
        checksum += out.size();
    }));
    report("overall skill rating", timeRuns([&] { checksum += engine.getSkillRating(); }));
    report("subject skill ratings (every answer)", timeRuns([&] {
        QMap<QString, int> out;
        engine.getSubjectSkillRatings(out);
        checksum += out.size();
    }));

    int loginRun = 0;
    std::vector<double> first, again;
    for (int i = 0; i < Runs; ++i) {
        const QString file = dir.filePath(QStringLiteral("login%1.db").arg(loginRun++));
        for (std::vector<double>* times : {&first, &again}) {
            Database loginDb;
            if (loginDb.initialize(file) != RC_OK)
                return 1;
            UserInfo* info = nullptr;
            loginDb.getUser(QStringLiteral("user"), &info);
            std::unique_ptr<Course> fresh = makeCourse();
            FrameworkModel model(&loginDb, &engine);
            model.setCourse(fresh->course.get());
            QElapsedTimer timer;
            timer.start();
            model.setUserSession(new UserSession(info));
            times->push_back(timer.nsecsElapsed() / 1e6);
            checksum += model.getCurrentActivity() ? 1 : 0;
        }
    }
    report("first login, 2,000-element course", median(first));
    report("second login (states restored)", median(again));

    const QString kept = dir.filePath(QStringLiteral("kept"));
    if (!QDir().mkpath(kept) || !writeKeptFile(QDir(kept).filePath(QStringLiteral("Brisola.bench.unsaved.json")),
                                              course->exercisePaths))
        return 1;
    PendingRecords pending;
    pending.setFolders({kept}, QStringLiteral("Brisola"));
    int reads = 0;
    pending.setRatingSource([&](SkillRating& rating) {
        ++reads;
        return engine.readSkillRating(rating);
    });
    QElapsedTimer recovery;
    recovery.start();
    const int found = pending.load();
    pending.saveKept(&db);
    const double recoveryMs = recovery.nsecsElapsed() / 1e6;
    std::printf("recovery: %d records found, %d left, the answers read %d times\n", found, pending.count(), reads);
    report("recovery, 4,000 marks and ratings measured at save", recoveryMs, 2000.0);
    std::printf("\nmedian of %d runs (checksum %d)\n", Runs, checksum);
    return 0;
}
