#pragma once

#include "app/settings/Settings.h"

#include <QObject>

// A handle on the settings for QML code that creates its own objects.
class SettingsProxy : public QObject {
    Q_OBJECT
    Q_PROPERTY(Settings* settings READ settings NOTIFY dummy)
public:
    explicit SettingsProxy(QObject* parent = nullptr) : QObject(parent) {}
    Settings* settings() const { return Settings::getInstance(); }

signals:
    void dummy();
};
