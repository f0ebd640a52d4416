// Qt Quick Test of the course facade and the question context as the screens see them: the
// framework logged in over a course of its own, the types registered under their module names
// and the facade reached through "runtime".
#include "CourseWriter.h"
#include "FacadeEnvironment.h"

#include "app/facades/QmlFacadeCourse.h"
#include "app/facades/QmlFacadeCourseItem.h"
#include "app/facades/QmlFacadeCourseModel.h"
#include "app/facades/QmlFacadeQuestionContext.h"
#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlPropertyMap>
#include <QTemporaryDir>
#include <QtQuickTest>

// What the QML tests need besides the facades: a fresh start of the learner's progress and the log.
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
    Q_INVOKABLE int logLines(const QString& needle) const { return LogCapture::instance().linesContaining(needle).size(); }
    Q_INVOKABLE int assertions() const { return AssertRecorder::count(); }
};

class Setup : public QObject {
    Q_OBJECT
public slots:
    void applicationAvailable()
    {
        AssertRecorder::install();
        CourseWriter w(m_courseDir.path());
        w.plugins();
        w.module("00_grade_1", "Grade 1");
        w.module("00_grade_1/00_rhythm", "Rhythm");
        w.learning("00_grade_1/00_rhythm/00_intro", "Intro");
        w.exercise("00_grade_1/00_rhythm/01_tapping", "Exercise: Beat Tapping 1", {"a, b", ""},
                   "[{\"path\": \".\", \"count\": 5}]");
        for (int i = 2; i < 7; ++i)
            w.learning(QStringLiteral("00_grade_1/00_rhythm/0%1_page").arg(i), QStringLiteral("Page %1").arg(i));
        w.module("00_grade_1/01_melody", "Melody");
        w.learning("00_grade_1/01_melody/00_listen", "Listen");
        for (int g = 2; g <= 3; ++g) {
            const QString grade = QStringLiteral("0%1_grade_%2").arg(g - 1).arg(g);
            w.module(grade, QStringLiteral("Grade %1").arg(g));
            w.module(grade + "/00_rhythm", "Rhythm");
            w.learning(grade + "/00_rhythm/00_intro", "Intro");
        }
        m_started = w.ok() && startFramework(m_courseDir.path()) != nullptr;
        LogCapture::instance();
    }

    void qmlEngineAvailable(QQmlEngine* engine)
    {
        const char* const reason = "A message";
        qmlRegisterUncreatableType<QmlFacadeQuestionContext>("QuestionContext", 1, 0, "QuestionContext", reason);
        qmlRegisterUncreatableType<QmlFacadeCourseItem>("CourseItem", 1, 0, "CourseItem", reason);
        qmlRegisterUncreatableType<QmlFacadeCourseModel>("CourseModel", 1, 0, "CourseModel", reason);
        auto* runtime = new QQmlPropertyMap(engine->rootContext());
        if (m_started)
            runtime->insert(QStringLiteral("course"), QVariant::fromValue<QObject*>(QmlFacadeCourse::instance()));
        engine->rootContext()->setContextProperty(QStringLiteral("runtime"), runtime);
        engine->rootContext()->setContextProperty(QStringLiteral("testSupport"), new QmlTestSupport());
    }

private:
    QTemporaryDir m_courseDir;
    bool m_started = false;
};

QUICK_TEST_MAIN_WITH_SETUP(app_facades, Setup)

#include "QmlFacadeTestMain.moc"
