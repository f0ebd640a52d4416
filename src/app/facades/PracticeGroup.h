#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class PracticeItem;

// The practice items of one subject name ("Rhythm", "Melody", "Harmony"). Owns its items.
class PracticeGroup : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString name READ name NOTIFY nameChanged)
    Q_PROPERTY(QList<PracticeItem*> items READ items NOTIFY itemsChanged)

public:
    PracticeGroup(const QString& name, QObject* parent);
    ~PracticeGroup() override;

    const QString& name() const { return m_name; }
    const QList<PracticeItem*>& items() const { return m_items; }

    // The first item of that name, appended when there is none.
    PracticeItem* findItem(const QString& name);
    // Keeps the items named in order, in that order; the others leave the group and are deleted.
    void reoderItems(const QStringList& order);
    void reset();

signals:
    void nameChanged();
    void itemsChanged();

private:
    QString m_name;
    QList<PracticeItem*> m_items;
};
