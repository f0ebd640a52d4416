#include <QtQuickTest>

#include <QQmlEngine>
#include <QQmlError>
#include <cstdio>

// Runs every tst_*.qml of this folder. A binding loop fails the run: the program logs it as a
// warning, and a log with a warning fails the learner's run.
class BindingLoopWatch : public QObject {
    Q_OBJECT

public:
    int loops = 0;

public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        connect(engine, &QQmlEngine::warnings, this, [this](const QList<QQmlError>& warnings) {
            for (const QQmlError& warning : warnings)
                if (warning.description().contains(QLatin1String("Binding loop detected")))
                    ++loops;
        });
    }
};

int main(int argc, char** argv)
{
    QTEST_SET_MAIN_SOURCE_PATH
    BindingLoopWatch watch;
    const int failed = quick_test_main_with_setup(argc, argv, "screens", QUICK_TEST_SOURCE_DIR, &watch);
    if (watch.loops > 0) {
        std::fprintf(stderr, "FAIL: %d binding loops, in the warnings above\n", watch.loops);
        return failed > 0 ? failed : 1;
    }
    return failed;
}

#include "ScreensQmlTest.moc"
