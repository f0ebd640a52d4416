// Times the practice facade over a generated course: 10 grades x 10 subjects (Rhythm, Melody and
// Harmony in turn) x 20 exercises of 4 questions with two tags each, 2,000 activities, and
// 40,000 answers over 8,000 variants. Prints the medians of load() and of prepare(10).

#include "app/facades/PracticeGroup.h"
#include "app/facades/PracticeItem.h"
#include "app/facades/QmlFacadePractice.h"
#include "debug/Debugging.h"
#include "debug/Logger.h"
#include "framework/Database.h"
#include "framework/DatabaseTransaction.h"
#include "framework/ElementState.h"
#include "framework/FrameworkManager.h"
#include "framework/FrameworkModel.h"
#include "lms/Lms.h"
#include "lms/LmsCourse.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Grades = 10;
constexpr int SubjectsPerGrade = 10;
constexpr int ExercisesPerSubject = 20;
constexpr int Runs = 11;
const char* const Subjects[] = {"Rhythm", "Melody", "Harmony"};
const char* const Kinds[] = {"Beat Tapping", "Pitch Singing", "Chord Recognition", "Note Tapping", "Interval Singing",
                             "Arpeggio Singing", "Meter Recognition", "Scale Singing", "Cadence Recognition"};

void quietMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

bool writeText(const QString& path, const QString& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0;
}

QString metadata(const QString& name, const char* type, const QString& rest = QString())
{
    return QStringLiteral("{\"properties\": {\"elementName\": \"%1\", \"elementType\": \"%2\"}%3}")
        .arg(name, QLatin1String(type), rest);
}

bool generate(const QString& root)
{
    QDir dir(root);
    for (int g = 0; g < Grades; ++g) {
        const QString grade = QStringLiteral("%1_grade_%2").arg(g, 2, 10, QLatin1Char('0')).arg(g);
        if (!dir.mkpath(grade) || !writeText(dir.filePath(grade + "/_metadata.json"),
                                             metadata(QStringLiteral("Grade %1").arg(g), "module")))
            return false;
        for (int s = 0; s < SubjectsPerGrade; ++s) {
            const QString subject = grade + QStringLiteral("/%1_subject_%2").arg(s, 2, 10, QLatin1Char('0')).arg(s);
            if (!dir.mkpath(subject) || !writeText(dir.filePath(subject + "/_metadata.json"),
                                                   metadata(QLatin1String(Subjects[s % 3]), "module")))
                return false;
            for (int a = 0; a < ExercisesPerSubject; ++a) {
                const QString activity = subject + QStringLiteral("/%1_exercise_%2").arg(a, 2, 10, QLatin1Char('0')).arg(a);
                QString questions;
                for (int q = 0; q < 4; ++q)
                    questions += QStringLiteral("%1{\"_type\": \"Imitation\", \"_difficulty\": 5, \"_tags\": \"t%2, u%3\"}")
                                     .arg(q ? ", " : "").arg(q).arg(q % 2);
                const QString name = QStringLiteral("Exercise: %1 %2").arg(QLatin1String(Kinds[a % 9])).arg(g % 10);
                if (!dir.mkpath(activity)
                    || !writeText(dir.filePath(activity + "/_metadata.json"),
                                  metadata(name, "exercise_activity", ", \"questions\": [" + questions + "]")))
                    return false;
            }
        }
    }
    return dir.mkpath("lms") && writeText(dir.filePath("lms/ImitationQuestion.json"),
                                          "{\"_type\": \"Imitation\", \"tempo\": {\"type\": \"Integer\", \"default\": 100}}");
}

double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir temp;
    qputenv("XDG_DATA_HOME", temp.filePath("data").toUtf8());
    const QString root = temp.filePath("course");
    if (!temp.isValid() || !QDir().mkpath(root) || !generate(root)) {
        std::fprintf(stderr, "bench_app: cannot write the generated course\n");
        return 1;
    }
    using edufrmwk::FrameworkManager;
    FrameworkManager* manager = FrameworkManager::getInstance();
    if (manager->initialize("Brisola", "1.1.525") != 0)
        return 1;
    qInstallMessageHandler(quietMessages);
    QsLogging::Logger::instance().setLoggingLevel(QsLogging::ErrorLevel);
    Lms::loadPlugins(root + "/lms");
    auto* course = new LmsCourse("Course");
    if (course->load(root, false) != 0) {
        std::fprintf(stderr, "bench_app: the course does not load\n");
        return 1;
    }
    QList<LmsElement*> elements;
    course->findElementsByType(elements);
    new ElementState(course);
    for (LmsElement* element : qAsConst(elements))
        new ElementState(element);
    manager->loadCourse(course);
    if (manager->login("user", "quillfen", nullptr) != 0)
        return 1;

    // Five answers for each variant of every exercise: 2,000 activities x 4 tags.
    {
        edufrmwk::DatabaseTransaction transaction(manager->mp_database);
        int n = 0;
        for (LmsElement* element : qAsConst(elements)) {
            if (element->getElementType() != LmsElement::ElementTypeActivity)
                continue;
            for (const char* tag : {"t0", "t1", "t2", "t3"})
                for (int k = 0; k < 5; ++k)
                    manager->mp_database->saveAnswer(1, {element->getNormalizedElementPath(), QLatin1String(tag)},
                                                     (++n % 7) / 6.0);
        }
        transaction.commit();
    }
    // Every grade open, so the selection sees every activity.
    for (LmsElement* grade : course->getElementList())
        edufrmwk::FrameworkModel::getInstance()->unlockGrade(static_cast<LmsModuleElement*>(grade));

    QmlFacadePractice practice;
    practice.setRandomSeed(1);
    std::vector<double> loads, prepares;
    for (int run = 0; run <= Runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        practice.load();
        const double loadMs = timer.nsecsElapsed() / 1e6;
        for (PracticeGroup* group : practice.groups())
            for (PracticeItem* item : group->items())
                item->setSelected(true);
        timer.restart();
        practice.prepare(10, true);
        const double prepareMs = timer.nsecsElapsed() / 1e6;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (run > 0) {  // the first run warms the caches
            loads.push_back(loadMs);
            prepares.push_back(prepareMs);
        }
    }
    int items = 0;
    for (PracticeGroup* group : practice.groups())
        items += group->items().size();
    const int exercises = Grades * SubjectsPerGrade * ExercisesPerSubject;
    std::printf("bench_app: %d exercises, %d answers, %d practice items, %d runs\n", exercises, exercises * 20, items,
                Runs);
    std::printf("practice load median %.1f ms (min %.1f, max %.1f)\n", median(loads),
                *std::min_element(loads.begin(), loads.end()), *std::max_element(loads.begin(), loads.end()));
    std::printf("practice prepare(10) with every item selected: median %.1f ms\n", median(prepares));
    return 0;
}
