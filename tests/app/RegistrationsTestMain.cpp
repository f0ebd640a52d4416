// Qt Quick Test of the program's own QML registrations and runtime map, over a plain engine: the
// framework logged in over a small course, then exactly what start-up registers and publishes.
#include "CourseWriter.h"
#include "FacadeEnvironment.h"

#include "app/qml/QmlFacade.h"
#include "support/AssertRecorder.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtQuickTest>

class Setup : public QObject {
    Q_OBJECT
public slots:
    void applicationAvailable()
    {
        AssertRecorder::install();
        CourseWriter w(m_courseDir.path());
        w.addAll({"00_grade_1|Grade 1", "00_grade_1/00_rhythm|Rhythm", "00_grade_1/00_rhythm/00_intro|Intro|",
                  "00_grade_1/00_rhythm/01_end|#endofcourse#|"});
        m_started = w.ok() && startFramework(m_courseDir.path()) != nullptr;
        QmlFacade::registerTypes();
    }

    void qmlEngineAvailable(QQmlEngine* engine)
    {
        if (m_started)
            QmlFacade::buildRuntime(engine->rootContext());
    }

private:
    QTemporaryDir m_courseDir;
    bool m_started = false;
};

QUICK_TEST_MAIN_WITH_SETUP(app_registrations, Setup)

#include "RegistrationsTestMain.moc"
