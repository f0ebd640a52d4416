#pragma once

#include <QObject>

class QQmlContext;
class QQmlPropertyMap;
class QQuickView;

// The seam between the screens and the program: the QML types (module "Tarvolin" 1.0, and the four
// uncreatable types under modules of their own name) and the "runtime" map of facades, the only
// context property the program sets. No instance is ever made.
class QmlFacade : public QObject {
    Q_OBJECT
public:
    explicit QmlFacade(QObject* parent = nullptr);

    // Once per process, after the course is loaded and the learner logged in, before the main screen.
    static void initialize(QQuickView* view);

    // The registrations alone, so QML tests use them with an engine of their own.
    static void registerTypes();
    // Creates the facades in the map's order, fills the map and publishes it as "runtime" on context
    // (its parent). The facades made here are the map's children; the process-wide ones are not.
    // The course facade reads the logged-in learner's progress while it is built.
    static QQmlPropertyMap* buildRuntime(QQmlContext* context);

    static const char* uncreatableReason() { return "A message"; }
};
