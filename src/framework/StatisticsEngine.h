#pragma once

#include "framework/Database.h"
#include "framework/PrioritizedQuestion.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

#include <vector>

class LmsCourse;
class LmsElement;

namespace edufrmwk {

class SkillRating;

// Turns the answers table into averages, practice recommendations and skill ratings.
// Keeps nothing between calls: every call reads the database afresh.
class StatisticsEngine {
public:
    struct Recommendation {
        Database::QuestionVariant variant;
        int count = 0;
    };
    struct UsageStatistics {
        struct Session {
            int id = 0;
            long start = 0;
            long end = 0;
        };
        long totalDuration = 0;
        QList<Session> sessions;
    };
    struct CourseProgressStatistics {
        struct Completion {
            int id = 0;
            QString modulePath;
            long time = 0;
        };
        double completed = 0.0;
        QList<Completion> completions;
    };
    struct ModuleCompletionStats {
        int count = 0;
        std::vector<QDateTime> completionTimes;
    };

    StatisticsEngine();
    ~StatisticsEngine();

    int initialize(Database* db);
    // The course to rate; without one, the framework model's course.
    void setCourse(LmsCourse* course) { mp_course = course; }

    // Each reads the answers; false when they could not be read (the result then holds what it held).
    bool getAverageVariantOutcomes(QMap<QString, double>& out);
    bool getQuestionRecommendations(QList<Recommendation>& out, int count, const QList<QString>& paths);
    bool getQuestionRecommendations(QList<Recommendation>& out, int count);
    // ok, when given, tells whether the answers could be read (0 otherwise).
    int getSkillRating(bool* ok = nullptr);
    // The same, as a rating that follows the answers saved after this read; false when the answers
    // could not be read.
    bool readSkillRating(SkillRating& rating);
    bool getSubjectSkillRatings(QMap<QString, int>& out);

    int getUserId(const QString& name, int& id);
    int getModuleCompletionStats(ModuleCompletionStats& stats);
    int getUsageStatistics(const QString& userName, long from, long to, UsageStatistics& stats);
    int getCourseProgressStatistics(const QString& userName, long from, long to, CourseProgressStatistics& stats);

    static double meanCorrectness(const QList<Database::Answer>& answers);

private:
    LmsCourse* course() const;
    // The answers without their times. A read refused for a passing reason (the file locked past
    // the wait) is a warning; any other failure is reported under the caller's expression.
    bool readAnswers(Database::AnswerMap& answers, int limit, const char* expression) const;

    Database* mp_db;
    LmsCourse* mp_course = nullptr;
};

// Counts every element of the subtree, the start element included.
void countModules(LmsElement* element, int& count);

}  // namespace edufrmwk
