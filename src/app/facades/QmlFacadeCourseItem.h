#pragma once

#include "framework/ElementState.h"

#include <QList>
#include <QObject>
#include <QQmlListProperty>
#include <QString>

class LmsElement;
class QmlFacadeQuestionContext;

// The QML-visible node of one course element: its name, page path, type, live state and
// question context. Items are built once with the course facade and live for the whole run.
class QmlFacadeCourseItem : public QObject {
    Q_OBJECT
public:
    enum Type { UnknownType = 0, Module = 1, Learning = 2, Exercise = 3, Test = 4, Practice = 5, EndOfCourse = 6 };
    Q_ENUM(Type)
    enum State {
        None = ElementState::NONE,
        Locked = ElementState::LOCKED,
        Unlocked = ElementState::UNLOCKED,
        Aborted = ElementState::ABORTED,
        Completed = ElementState::COMPLETED,
        Invalid = ElementState::INVALID
    };
    Q_ENUM(State)

    Q_PROPERTY(QmlFacadeCourseItem* parent READ parent CONSTANT)
    Q_PROPERTY(QString name READ name CONSTANT)
    Q_PROPERTY(QString description READ description CONSTANT)
    Q_PROPERTY(QString fsPath READ fsPath CONSTANT)
    Q_PROPERTY(QQmlListProperty<QmlFacadeCourseItem> children READ children CONSTANT)
    Q_PROPERTY(int childCount READ childCount CONSTANT)
    Q_PROPERTY(Type type READ type CONSTANT)
    Q_PROPERTY(State state READ state WRITE setState NOTIFY stateChanged)
    Q_PROPERTY(bool isCurrent READ isCurrent NOTIFY stateChanged)
    Q_PROPERTY(QmlFacadeQuestionContext* questionContext READ questionContext CONSTANT)

    QmlFacadeCourseItem(LmsElement* element, QmlFacadeCourseItem* parent);
    ~QmlFacadeCourseItem() override;

    QmlFacadeCourseItem* parent() const { return mp_parentItem; }
    QString name() const;
    QString description() const { return QString(); }
    const QString& fsPath() const { return m_fsPath; }
    QQmlListProperty<QmlFacadeCourseItem> children();
    int childCount() const { return m_childItems.size(); }
    Type type() const { return m_type; }
    State state() const;
    void setState(State state);
    bool isCurrent() const;
    QmlFacadeQuestionContext* questionContext() const { return mp_questionContext; }

    LmsElement* element() const { return mp_element; }
    const QList<QmlFacadeCourseItem*>& childItems() const { return m_childItems; }
    QmlFacadeCourseItem* child(int row) const;
    int row() const;
    void appendChild(QmlFacadeCourseItem* item);
    void removeChild(QmlFacadeCourseItem* item);

signals:
    void stateChanged();

private:
    static Type typeOf(LmsElement* element);
    static QString pagePath(LmsElement* element, Type type);

    QList<QmlFacadeCourseItem*> m_childItems;
    QmlFacadeCourseItem* mp_parentItem;
    LmsElement* mp_element;
    QString m_fsPath;
    Type m_type;
    QmlFacadeQuestionContext* mp_questionContext;
};
