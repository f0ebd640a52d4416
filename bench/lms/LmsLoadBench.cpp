// Times LmsCourse::load over a generated course: 10 grades x 10 subjects x 20 activities
// (learning pages, exercises with a template, eight questions and an association, tests
// drawing from their sibling exercises). Prints the median of the timed runs.

#include "lms/Lms.h"
#include "lms/LmsCourse.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Grades = 10;
constexpr int SubjectsPerGrade = 10;
constexpr int ActivitiesPerSubject = 20;
constexpr int Runs = 11;
int g_warnings = 0;

// The loader's debug lines would time the terminal, not the loader; warnings are counted.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg && type != QtInfoMsg) {
        ++g_warnings;
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
}

bool writeText(const QString& path, const QString& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return file.write(text.toUtf8()) >= 0;
}

QString properties(const QString& name, const QString& type)
{
    return QStringLiteral("\"properties\": {\"elementName\": \"%1\", \"elementType\": \"%2\"}").arg(name, type);
}

QString exerciseMetadata(const QString& name)
{
    QString questions;
    for (int q = 0; q < 8; ++q) {
        if (q)
            questions += QStringLiteral(",\n");
        questions += QStringLiteral("    {\"_type\": \"Interval\", \"_uid\": %1, \"_difficulty\": %2, \"_tags\": \"t%3, common\","
                                    " \"gmn\": \"[c e g]\", \"tempo\": \"%4\", \"range\": {\"low\": \"C4\", \"high\": \"G5\"}}")
                         .arg(q).arg(1 + q % 3).arg(q % 4).arg(80 + q);
    }
    return QStringLiteral("{\n  %1,\n  \"templates\": [{\"_type\": \"Interval\", \"_tags\": \"interval\", \"tempo\": \"90\"}],\n"
                          "  \"questions\": [\n%2\n  ],\n"
                          "  \"associations\": [{\"path\": \".\", \"type\": \"Interval\", \"tags\": \"common\", \"difficulty\": 0, \"count\": 4}]\n}")
        .arg(properties(name, QStringLiteral("exercise_activity")), questions);
}

QString testMetadata(const QString& name, const QString& source)
{
    return QStringLiteral("{\n  %1,\n  \"associations\": [{\"path\": \"%2\", \"difficulty\": 0, \"count\": 5}, {\"path\": \"%2\", \"uid\": 3}]\n}")
        .arg(properties(name, QStringLiteral("test_activity")), source);
}

bool generate(const QString& root, int& activities)
{
    activities = 0;
    QDir dir(root);
    for (int g = 0; g < Grades; ++g) {
        const QString grade = QStringLiteral("%1_grade_%2").arg(g, 2, 10, QLatin1Char('0')).arg(g);
        if (!dir.mkpath(grade) || !writeText(dir.filePath(grade + QStringLiteral("/_metadata.json")),
                                             QStringLiteral("{%1}").arg(properties(QStringLiteral("Grade %1").arg(g), QStringLiteral("module")))))
            return false;
        for (int s = 0; s < SubjectsPerGrade; ++s) {
            const QString subject = grade + QStringLiteral("/%1_subject_%2").arg(s, 2, 10, QLatin1Char('0')).arg(s);
            if (!dir.mkpath(subject) || !writeText(dir.filePath(subject + QStringLiteral("/_metadata.json")),
                                                   QStringLiteral("{%1}").arg(properties(QStringLiteral("Subject %1").arg(s), QStringLiteral("module")))))
                return false;
            for (int a = 0; a < ActivitiesPerSubject; ++a) {
                const QString activity = subject + QStringLiteral("/%1_activity_%2").arg(a, 2, 10, QLatin1Char('0')).arg(a);
                const QString name = QStringLiteral("Activity %1").arg(a);
                QString text;
                if (a % 4 == 0) {
                    text = QStringLiteral("{%1}").arg(properties(name, QStringLiteral("learning_activity")));
                } else if (a % 4 == 3) {
                    text = testMetadata(name, QStringLiteral("Activity %1").arg(a - 1));
                } else {
                    text = exerciseMetadata(name);
                }
                if (!dir.mkpath(activity) || !writeText(dir.filePath(activity + QStringLiteral("/_metadata.json")), text))
                    return false;
                if (a % 4 == 0 && !writeText(dir.filePath(activity + QStringLiteral("/page.qml")), QStringLiteral("Item {}\n")))
                    return false;
                ++activities;
            }
        }
    }
    return dir.mkpath(QStringLiteral("plugins"))
        && writeText(dir.filePath(QStringLiteral("plugins/IntervalQuestion.json")),
                     QStringLiteral("{\"_type\": \"Interval\", \"tempo\": {\"type\": \"Integer\", \"default\": 120}}"));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietMessages);
    QTemporaryDir temp;
    int activities = 0;
    if (!temp.isValid() || !generate(temp.path(), activities)) {
        std::fprintf(stderr, "bench_lms: cannot write the generated course\n");
        return 1;
    }
    Lms::loadPlugins(QDir(temp.path()).filePath(QStringLiteral("plugins")));

    std::vector<double> times;
    for (int run = 0; run <= Runs; ++run) {
        LmsCourse course(QStringLiteral("Course"));
        QElapsedTimer timer;
        timer.start();
        const int status = course.load(temp.path(), false);
        const double ms = timer.nsecsElapsed() / 1e6;
        if (status != 0) {
            std::fprintf(stderr, "bench_lms: load failed (%d)\n", status);
            return 1;
        }
        if (run > 0)  // the first run warms the script engine and the file cache
            times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("bench_lms: course of %d activities, %d runs\n", activities, Runs);
    if (g_warnings)
        std::printf("warnings: %d\n", g_warnings);
    std::printf("load median %.1f ms (min %.1f, max %.1f); goal < 200 ms: %s\n", median, times.front(), times.back(),
                median < 200.0 ? "met" : "missed");
    return 0;
}
