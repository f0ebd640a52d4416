#include "framework/StatisticsEngine.h"

#include "debug/Debugging.h"
#include "framework/FrameworkModel.h"
#include "framework/SkillRating.h"
#include "framework/UserSession.h"
#include "lms/LmsCourse.h"
#include "lms/LmsQuestionActivity.h"

#include <QHash>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace edufrmwk {

namespace {
const int g_answerLimit = 20;
}

StatisticsEngine::StatisticsEngine()
    : mp_db(nullptr)
{
}

StatisticsEngine::~StatisticsEngine() = default;

int StatisticsEngine::initialize(Database* db)
{
    mp_db = db;
    return RC_OK;
}

LmsCourse* StatisticsEngine::course() const
{
    return mp_course ? mp_course : FrameworkModel::getInstance()->getCourse();
}

bool StatisticsEngine::readAnswers(Database::AnswerMap& answers, int limit, const char* expression) const
{
    // Times are not needed here, and reading them is most of the cost.
    if (mp_db->getAnswers(answers, limit, false) == RC_OK)
        return true;
    // Another program holding the file past the wait, or a failing disk: the screens go on with
    // what they have. A file that cannot answer the query at all is a fault.
    if (mp_db->lastFailureIsTransient())
        LOG_WARN("stats-eng", "the answers could not be read now; going on without them");
    else
        Debugging::doAssert(expression, __FILE__, __LINE__, nullptr);
    return false;
}

double StatisticsEngine::meanCorrectness(const QList<Database::Answer>& answers)
{
    if (answers.isEmpty())
        return 0.0;
    double sum = 0.0;
    for (const Database::Answer& answer : answers)
        sum += answer.correctness;
    return sum / answers.size();
}

bool StatisticsEngine::getAverageVariantOutcomes(QMap<QString, double>& out)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return false;
    Database::AnswerMap answerMap;
    const bool read = readAnswers(answerMap, g_answerLimit, "db->getAnswers(answerMap, 20) == RC_OK");
    for (auto it = answerMap.constBegin(); it != answerMap.constEnd(); ++it) {
        const double mean = meanCorrectness(it.value());
        const QString flat = it.key().flatten();
        LOG_TRACE("stats-eng", "\t%s : avg outcome %.2lf", flat.toUtf8().constData(), mean);
        out.insert(flat, mean);
    }
    return read;
}

bool StatisticsEngine::getQuestionRecommendations(QList<Recommendation>& out, int count)
{
    return getQuestionRecommendations(out, count, QList<QString>());
}

bool StatisticsEngine::getQuestionRecommendations(QList<Recommendation>& out, int count, const QList<QString>& paths)
{
    LOG_ENTRY("stats-eng");
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return false;
    Database::AnswerMap answerMap;
    const bool read = readAnswers(answerMap, g_answerLimit, "mp_db->getAnswers(answerMap, 20) == RC_OK");
    LOG_TRACE("stats-eng", "average outcomes: ");

    QList<PrioritizedQuestion> prioritized;
    double total = 0.0;
    for (auto it = answerMap.constBegin(); it != answerMap.constEnd(); ++it) {
        if (!paths.isEmpty() && !paths.contains(it.key().path))
            continue;
        const double mean = meanCorrectness(it.value());
        LOG_TRACE("stats-eng", "\t%s : %.2lf", it.key().flatten().toUtf8().constData(), mean);
        PrioritizedQuestion entry;
        entry.variant = it.key();
        entry.priority = 1.0 - mean;
        prioritized.append(entry);
        total += entry.priority;
    }

    // Worst first; equal priorities keep the variants' key order.
    std::stable_sort(prioritized.begin(), prioritized.end(),
                     [](const PrioritizedQuestion& a, const PrioritizedQuestion& b) { return b < a; });

    const double divisor = total != 0.0 ? total : 1.0;
    int assigned = 0;
    for (const PrioritizedQuestion& entry : qAsConst(prioritized)) {
        if (assigned >= count)
            break;
        int share = static_cast<int>(entry.priority / divisor * count);
        if (share == 0)
            share = 1;
        const int given = assigned + share > count ? count - assigned : share;
        out.append({entry.variant, given});
        assigned += given;
    }

    if (assigned != 0 && assigned < count) {
        // What truncation left over goes round from the first entry.
        for (int i = 0; assigned < count; i = (i + 1) % out.size()) {
            out[i].count += 1;
            assigned += 1;
        }
    }
    return read;
}

int StatisticsEngine::getSkillRating(bool* ok)
{
    SkillRating rating;
    const bool read = readSkillRating(rating);
    if (ok)
        *ok = read;
    return rating.value();
}

bool StatisticsEngine::readSkillRating(SkillRating& rating)
{
    rating = SkillRating();
    LmsCourse* lmsCourse = course();
    BRISOLA_ASSERT(mp_db);
    BRISOLA_ASSERT(lmsCourse);
    if (!mp_db || !lmsCourse)
        return false;
    Database::AnswerMap answerMap;
    const bool read = readAnswers(answerMap, g_answerLimit, "mp_db->getAnswers(answerMap, 20) == RC_OK");

    QList<LmsQuestionActivity*> qaList;
    lmsCourse->findElementsByType<LmsQuestionActivity>(qaList);
    if (qaList.isEmpty())
        LOG_WARN("stats-eng", "no question activities in the course: the skill rating is 0");
    rating = SkillRating(answerMap, g_answerLimit, qaList.size());
    return read;
}

bool StatisticsEngine::getSubjectSkillRatings(QMap<QString, int>& out)
{
    LmsCourse* lmsCourse = course();
    BRISOLA_ASSERT(mp_db);
    BRISOLA_ASSERT(lmsCourse);
    if (!mp_db || !lmsCourse)
        return false;

    QList<LmsQuestionActivity*> qaList;
    lmsCourse->findElementsByType<LmsQuestionActivity>(qaList);
    // Subjects are keyed by name: two subjects of one name share an entry and a count.
    QHash<QString, int> qaPerSubject;
    for (LmsQuestionActivity* element : qAsConst(qaList)) {
        BRISOLA_ASSERT(element);
        LmsModuleElement* module = element ? element->getParentModule() : nullptr;
        BRISOLA_ASSERT(module);
        if (!module || module->getDepth() != 3)
            continue;
        if (!qaPerSubject.contains(module->getName()))
            out[module->getName()] = 0;
        qaPerSubject[module->getName()] += 1;
    }
    BRISOLA_ASSERT(qaPerSubject.count() > 0);
    if (qaPerSubject.isEmpty())
        return true;

    Database::AnswerMap answerMap;
    const bool read = readAnswers(answerMap, -1, "mp_db->getAnswers(answerMap) == RC_OK");
    QHash<QString, LmsElement*> elementByPath;  // the tags of one activity share its lookup
    for (auto it = answerMap.constBegin(); it != answerMap.constEnd(); ++it) {
        auto cached = elementByPath.constFind(it.key().path);
        if (cached == elementByPath.constEnd())
            cached = elementByPath.insert(it.key().path, lmsCourse->findElementByNormalizedPath(it.key().path));
        LmsElement* element = cached.value();
        if (!element || element->getElementType() != LmsElement::ElementTypeActivity) {
            // Answers of content that is gone (or moved) stay stored but count nowhere.
            LOG_WARN("stats-eng", "skipping answers of %s: no such activity in the course",
                     it.key().flatten().toUtf8().constData());
            continue;
        }
        LmsModuleElement* module = element->getParentModule();
        if (!module || module->getDepth() != 3)
            continue;
        if (!qaPerSubject.contains(module->getName())) {
            LOG_WARN("stats-eng", "skipping answers of %s: its subject holds no question activity",
                     it.key().flatten().toUtf8().constData());
            continue;
        }
        int& value = out[module->getName()];
        value = static_cast<int>(value + meanCorrectness(it.value()) * 1500.0);
    }

    for (auto it = out.begin(); it != out.end(); ++it) {
        const QString& subject = it.key();
        BRISOLA_ASSERT(qaPerSubject.find(subject) != qaPerSubject.end());
        const int activities = qaPerSubject.value(subject);
        if (activities > 0)
            it.value() = it.value() / activities;
    }
    return read;
}

int StatisticsEngine::getUserId(const QString& name, int& id)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;
    Database::Query q(mp_db);
    q.exec("SELECT id FROM users WHERE name='%q'", name.toUtf8().constData());
    if (!q.isOK() || q.numRows() == 0)
        return RC_DB_ERROR;
    BRISOLA_ASSERT(q.numRows() == 1);
    QString idVal;
    BRISOLA_ASSERT(q.getValue(0, "id", idVal));
    const QByteArray text = idVal.toUtf8();
    char* rem = nullptr;
    const long value = std::strtol(text.constData(), &rem, 10);
    BRISOLA_ASSERT(!rem || !strlen(rem));
    id = static_cast<int>(value);
    return RC_OK;
}

int StatisticsEngine::getModuleCompletionStats(ModuleCompletionStats& stats)
{
    BRISOLA_ASSERT(mp_db);
    UserSession* session = FrameworkModel::getInstance()->getUserSession();
    if (!mp_db || !session)
        return RC_DB_ERROR;
    QList<Database::ModuleInfo> modules;
    const int rc = mp_db->getModuleCompletionStats(session->getUserId(), modules);
    BRISOLA_ASSERT(rc == RC_OK);
    stats.count = modules.size();
    for (const Database::ModuleInfo& info : qAsConst(modules)) {
        if (info.completionTime.isValid())
            stats.completionTimes.push_back(info.completionTime);
    }
    std::sort(stats.completionTimes.begin(), stats.completionTimes.end());
    return RC_OK;
}

int StatisticsEngine::getUsageStatistics(const QString& userName, long, long, UsageStatistics& stats)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;
    Database::Query q(mp_db);
    q.exec("SELECT id, start_time, end_time FROM user_sessions WHERE user_id = (SELECT id FROM users WHERE "
           "name = '%q')",
           userName.toUtf8().constData());
    if (!q.isOK() || q.numRows() == 0)
        return RC_DB_ERROR;
    for (unsigned long row = 0; row < q.numRows(); ++row) {
        QString id, start, end;
        BRISOLA_ASSERT(q.getValue(row, "id", id));
        BRISOLA_ASSERT(q.getValue(row, "start_time", start));
        BRISOLA_ASSERT(q.getValue(row, "end_time", end));
        UsageStatistics::Session session;
        session.id = id.toInt();
        session.start = start.toLong();
        session.end = end.toLong();
        stats.totalDuration += session.end - session.start;
        stats.sessions.append(session);
    }
    return RC_OK;
}

int StatisticsEngine::getCourseProgressStatistics(const QString& userName, long, long,
                                                  CourseProgressStatistics& stats)
{
    BRISOLA_ASSERT(mp_db);
    if (!mp_db)
        return RC_DB_ERROR;
    // The completions are the user's completed element states; no other table records them.
    Database::Query q(mp_db);
    q.exec("SELECT id, path AS module_path, completed_ts AS time FROM element_state WHERE user_id = (SELECT id "
           "FROM users WHERE name = '%q') AND upper(state) = 'COMPLETED' ORDER BY id",
           userName.toUtf8().constData());
    if (!q.isOK() || q.numRows() == 0)
        return RC_DB_ERROR;
    for (unsigned long row = 0; row < q.numRows(); ++row) {
        QString id, path, time;
        BRISOLA_ASSERT(q.getValue(row, "id", id));
        BRISOLA_ASSERT(q.getValue(row, "module_path", path));
        BRISOLA_ASSERT(q.getValue(row, "time", time));
        CourseProgressStatistics::Completion completion;
        completion.id = id.toInt();
        completion.modulePath = path;
        const QDateTime when = Database::parseTimestamp(time);
        completion.time = when.isValid() ? static_cast<long>(when.toSecsSinceEpoch()) : 0L;
        stats.completions.append(completion);
    }
    int modules = 0;
    countModules(course(), modules);
    stats.completed = modules < 1 ? 0.0 : static_cast<double>(stats.completions.size()) / modules;
    return RC_OK;
}

void countModules(LmsElement* element, int& count)
{
    if (!element)
        return;
    count += 1;
    if (auto* module = dynamic_cast<LmsModuleElement*>(element)) {
        for (LmsElement* child : module->getElementList())
            countModules(child, count);
    }
}

}  // namespace edufrmwk
