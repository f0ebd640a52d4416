#include "app/qml/QmlFacade.h"

#include "app/facades/MediaProxy.h"
#include "app/facades/PracticeGroupModel.h"
#include "app/facades/QmlFacadeCourse.h"
#include "app/facades/QmlFacadeCourseItem.h"
#include "app/facades/QmlFacadeCourseModel.h"
#include "app/facades/QmlFacadePractice.h"
#include "app/facades/QmlFacadeQuestionContext.h"
#include "app/facades/QmlFacadeStats.h"
#include "app/facades/QmlFacadeSystem.h"
#include "app/facades/QmlGlobals.h"
#include "app/facades/ScoreProxy.h"
#include "app/settings/InputCalibrator.h"
#include "app/settings/InputLevelMeter.h"
#include "app/settings/PitchCalibrator.h"
#include "app/settings/Settings.h"
#include "app/settings/SettingsProxy.h"
#include "exercise/ImitationQuestionEngine.h"
#include "exercise/RoleItemModel.h"
#include "score/Score.h"
#include "score/metronome/Metronome.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlPropertyMap>
#include <QQuickView>
#include <QStandardItemModel>

QmlFacade::QmlFacade(QObject* parent) : QObject(parent) {}

void QmlFacade::initialize(QQuickView* view)
{
    registerTypes();
    buildRuntime(view->rootContext());
}

void QmlFacade::registerTypes()
{
    const char* const uri = "Tarvolin";
    const QString reason = QString::fromLatin1(uncreatableReason());
    qmlRegisterType<ScoreProxy>(uri, 1, 0, "ScoreProxy");
    qmlRegisterType<MediaProxy>(uri, 1, 0, "MediaProxy");
    qmlRegisterType<SettingsProxy>(uri, 1, 0, "SettingsProxy");
    qmlRegisterType<PitchCalibrator>(uri, 1, 0, "CalibrationSettingsProxy");
    qmlRegisterType<InputLevelMeter>(uri, 1, 0, "InputLevelMeterProxy");
    qmlRegisterType<ImitationQuestionEngine>(uri, 1, 0, "ImitationQuestionEngine");
    // pointer-typed properties: the proxy's settings, the statistics models, the engine's outcome model
    qmlRegisterAnonymousType<Settings>(uri, 1);
    qmlRegisterAnonymousType<RoleItemModel>(uri, 1);
    qmlRegisterAnonymousType<QStandardItemModel>(uri, 1);
    qRegisterMetaType<PracticeGroupModel*>("PracticeGroupModel*");
    qmlRegisterUncreatableType<QmlFacadeQuestionContext>("QuestionContext", 1, 0, "QuestionContext", reason);
    qmlRegisterUncreatableType<QmlFacadeCourseItem>("CourseItem", 1, 0, "CourseItem", reason);
    qmlRegisterUncreatableType<QmlFacadeCourseModel>("CourseModel", 1, 0, "CourseModel", reason);
    qmlRegisterUncreatableType<Score>("Score", 1, 0, "Score", reason);
    // for its Mode values in QML
    qmlRegisterUncreatableType<Metronome>(uri, 1, 0, "Metronome", reason);
}

QQmlPropertyMap* QmlFacade::buildRuntime(QQmlContext* context)
{
    auto* runtime = new QQmlPropertyMap(context);
    auto insert = [runtime](const char* key, QObject* object) {
        runtime->insert(QString::fromLatin1(key), QVariant::fromValue<QObject*>(object));
    };
    insert("course", QmlFacadeCourse::instance());
    // The facades made here go with the map, and the map with its context.
    insert("stats", new QmlFacadeStats(runtime));
    insert("practice", new QmlFacadePractice(runtime));
    insert("globals", QmlGlobals::getInstance());
    QmlGlobals::getInstance()->announceRecovered();
    insert("settings", Settings::getInstance());
    insert("calibration", InputCalibrator::getInstance());
    insert("system", new QmlFacadeSystem(runtime));
    context->setContextProperty(QStringLiteral("runtime"), runtime);
    return runtime;
}
