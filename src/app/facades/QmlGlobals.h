#pragma once

#include <QObject>

// The interaction lock of the whole user interface: a depth counter; screens react to input only
// while nothing holds it (depth 0).
class QmlGlobals : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool interactionEnabled READ interactionEnabled NOTIFY interactionEnabledUpdated)
public:
    static QmlGlobals* getInstance();

    bool interactionEnabled() const { return m_lockDepth == 0; }
    int lockDepth() const { return m_lockDepth; }

    Q_INVOKABLE void pushLock();
    Q_INVOKABLE void popLock();

signals:
    void interactionEnabledUpdated();

private:
    QmlGlobals() = default;

    static QmlGlobals* mp_instance;
    int m_lockDepth = 0;
};
