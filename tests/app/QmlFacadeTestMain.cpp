// Qt Quick Test of the program's own registrations and runtime map, and of the course facade and
// the question context as the screens see them: the framework logged in over the course of three
// grades, then exactly what start-up registers and publishes.
#include "CourseWriter.h"
#include "FacadeEnvironment.h"

#include "app/facades/QmlFacadeCourse.h"
#include "app/qml/QmlFacade.h"
#include "framework/FrameworkManager.h"
#include "framework/SqlPeek.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtQuickTest>

// What the QML tests need besides the facades: a fresh start, the log, the assertions and the rows.
class QmlTestSupport : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void restartProgress()
    {
        ::restartProgress();
        QmlFacadeCourse::instance()->updateState();
        LogCapture::instance().clear();
        AssertRecorder::clear();
    }
    Q_INVOKABLE int logLines(const QString& text) const { return LogCapture::instance().linesContaining(text).size(); }
    Q_INVOKABLE int assertions() const { return AssertRecorder::count(); }
    Q_INVOKABLE QStringList dbRows(const QString& sql) const
    {
        return sqlRows(edufrmwk::FrameworkManager::getInstance()->m_dbPath, sql);
    }
};

class Setup : public QObject {
    Q_OBJECT
public slots:
    void applicationAvailable()
    {
        AssertRecorder::install();
        m_started = CourseWriter::writeCourseOfThreeGrades(m_courseDir.path()) && startFramework(m_courseDir.path());
        LogCapture::instance();
        QmlFacade::registerTypes();
    }

    void qmlEngineAvailable(QQmlEngine* engine)
    {
        if (m_started)
            QmlFacade::buildRuntime(engine->rootContext());
        auto* support = new QmlTestSupport;
        support->setParent(engine);
        engine->rootContext()->setContextProperty("testSupport", support);
    }

private:
    QTemporaryDir m_courseDir;
    bool m_started = false;
};

QUICK_TEST_MAIN_WITH_SETUP(app_facades, Setup)

#include "QmlFacadeTestMain.moc"
