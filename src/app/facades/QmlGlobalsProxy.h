#pragma once

#include "app/facades/QmlGlobals.h"

#include <QObject>

// A handle on the interaction lock for QML code that creates its own objects.
class QmlGlobalsProxy : public QObject {
    Q_OBJECT
    Q_PROPERTY(QmlGlobals* globals READ globals NOTIFY dummy)
public:
    explicit QmlGlobalsProxy(QObject* parent = nullptr) : QObject(parent) {}
    QmlGlobals* globals() const { return QmlGlobals::getInstance(); }

signals:
    void dummy();
};
