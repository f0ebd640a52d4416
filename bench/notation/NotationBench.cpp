// bench_notation [questions]: medians of the notation engine's costs as the score uses them.
//   start-up: a fresh host until its ready line (node start, engine load and compile);
//   question: parse and lay out, voice map, staff map and SVG of page 1, over the pipe;
//   paint: drawing page 1 into a 1024 x 768 image from the SVG already fetched.
// Questions are generated (8 bars of quarters, eighths, dotted notes, triplets, rests and ties).

#include "debug/Debugging.h"
#include "notation/NotationEngine.h"
#include "notation/NotationPainter.h"
#include "notation/NotationResources.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

// A question as the course writes them: bars of quarters and eighths, now and then a dotted pair,
// a triplet or a rest; dense ones (sixteenths and triplets in every beat) are timed apart.
QString question(QRandomGenerator& rng, int bars, bool dense)
{
    static const char* names[] = {"c", "d", "e", "f", "g", "a", "b"};
    static const char* typical[] = {"%1/4", "%1/4", "%1/4", "%1/8 %2", "%1/8 %2", "%1/8. %2/16",
                                    "\\tuplet<\"-3-\">(%1/12 %2 %3)", "_/4"};
    static const char* heavy[] = {"%1/16 %2 %3 %4", "%1/8. %2/16", "\\tuplet<\"-3-\">(%1/12 %2 %3)", "%1/8 %2"};
    QString code = QString("[ \\meter<\"4/4\"> \\key<%1> \\bpm<100> ").arg(rng.bounded(15) - 7);
    for (int bar = 0; bar < bars; ++bar) {
        for (int beat = 0; beat < 4; ++beat) {
            QString b = dense ? heavy[rng.bounded(int(std::size(heavy)))] : typical[rng.bounded(int(std::size(typical)))];
            for (int k = 1; k <= 4; ++k)
                b.replace(QString("%%1").arg(k), QString(names[rng.bounded(7)]) + (k == 1 ? "1" : ""));
            code += b + " ";
        }
        code += bar < bars - 1 ? "| " : "";
    }
    return code + "]";
}

struct Timings {
    std::vector<double> set, paint, repaint;
    int refused = 0;
};

// Sets each question in a painter the way the score does, then paints page 1 twice at 1024 x 768.
Timings run(NotationPainter& painter, QRandomGenerator& rng, int count, int bars, bool dense)
{
    Timings t;
    QImage image(1024, 768, QImage::Format_ARGB32_Premultiplied);
    for (int i = 0; i < count; ++i) {
        const QString code = question(rng, bars, dense);
        QElapsedTimer clock;
        clock.start();
        if (!painter.setGMNCode(code)) {
            ++t.refused;
            continue;
        }
        NotationMap voice, staff;
        painter.voiceMap(1, painter.pageSizeMM(1) * 2.0, 1, voice);
        painter.staffMap(1, painter.pageSizeMM(1) * 2.0, 1, staff);
        const QByteArray svg = painter.pageSvg(1);
        t.set.push_back(clock.nsecsElapsed() / 1e6);
        if (voice.isEmpty() || svg.isEmpty()) {
            ++t.refused;
            continue;
        }
        for (std::vector<double>* v : {&t.paint, &t.repaint}) {
            image.fill(Qt::white);
            clock.restart();
            QPainter qp(&image);
            painter.draw(&qp, 1, image.rect());
            qp.end();
            v->push_back(clock.nsecsElapsed() / 1e6);
        }
    }
    return t;
}

void report(const char* name, const Timings& t)
{
    std::printf("%-22s set median %6.2f ms (p95 %6.2f)   paint median %6.2f ms   repaint median %5.2f ms   "
                "(%d refused)\n",
                name, median(t.set), percentile(t.set, 0.95), median(t.paint), median(t.repaint), t.refused);
}

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("DISPLAY") && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Debugging::initialize();
    Debugging::setLoggingLevel(QsLogging::WarnLevel);
    Debugging::enableConsoleLogging();
    const int questions = argc > 1 ? std::max(10, atoi(argv[1])) : 300;
    if (!NotationResources::registerFont())
        return 1;

    NotationEngine& engine = NotationEngine::instance();
    std::vector<double> startup;
    for (int i = 0; i < 10; ++i) {
        engine.stop();
        if (!engine.start())
            return 1;
        startup.push_back(engine.lastStartMs());
    }

    std::vector<double> roundTrip;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer t;
        t.start();
        engine.call("handles");
        roundTrip.push_back(t.nsecsElapsed() / 1e6);
    }

    QRandomGenerator rng(42);
    NotationPainter painter;
    painter.setResizePageToMusic(true);  // as questions are shown
    const Timings four = run(painter, rng, questions, 4, false);
    const Timings eight = run(painter, rng, questions, 8, false);
    const Timings dense = run(painter, rng, questions / 3, 8, true);

    std::printf("notation engine %s, %d questions per kind\n", qPrintable(engine.version()), questions);
    std::printf("host start-up          median %6.1f ms   max %6.1f ms   (10 starts)\n", median(startup),
                percentile(startup, 1.0));
    std::printf("empty round trip       median %6.3f ms\n", median(roundTrip));
    report("4 bars, typical", four);
    report("8 bars, typical", eight);
    report("8 bars, dense", dense);
    const int refused = four.refused + eight.refused + dense.refused;
    return refused == 0 ? 0 : 1;
}
