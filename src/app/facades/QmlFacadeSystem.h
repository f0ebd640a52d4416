#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// What the screens ask of the program as a whole: debug mode, the QML root, the audio devices,
// About, help and the fatal exit.
class QmlFacadeSystem : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool debugMode READ debugMode CONSTANT)
    Q_PROPERTY(QString qmlPath READ qmlPath CONSTANT)
    Q_PROPERTY(QString inputDeviceName READ inputDeviceName NOTIFY inputDeviceChanged)
    Q_PROPERTY(QStringList inputDeviceList READ inputDeviceList NOTIFY inputDeviceListChanged)
    Q_PROPERTY(QString outputDeviceName READ outputDeviceName NOTIFY outputDeviceChanged)
    Q_PROPERTY(QStringList outputDeviceList READ outputDeviceList NOTIFY outputDeviceListChanged)
public:
    explicit QmlFacadeSystem(QObject* parent = nullptr);

    bool debugMode() const;
    QString qmlPath() const;
    QString inputDeviceName() const;
    QString outputDeviceName() const;
    QStringList inputDeviceList() const;
    QStringList outputDeviceList() const;

    Q_INVOKABLE void update();
    Q_INVOKABLE void displayAbout();
    Q_INVOKABLE void displayHelp();
    Q_INVOKABLE void die(const QString& message);

signals:
    void inputDeviceChanged();
    void outputDeviceChanged();
    void inputDeviceListChanged();
    void outputDeviceListChanged();
};
