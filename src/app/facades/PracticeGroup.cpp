#include "app/facades/PracticeGroup.h"

#include "app/facades/PracticeItem.h"
#include "debug/Debugging.h"

PracticeGroup::PracticeGroup(const QString& name, QObject* parent)
    : QObject(parent)
    , m_name(name)
{
}

PracticeGroup::~PracticeGroup()
{
    qDeleteAll(m_items);
}

PracticeItem* PracticeGroup::findItem(const QString& name)
{
    for (PracticeItem* walk : qAsConst(m_items)) {
        BRISOLA_ASSERT(walk != NULL);
        if (walk && walk->name() == name)
            return walk;
    }
    auto* item = new PracticeItem(name);
    m_items.append(item);
    return item;
}

void PracticeGroup::reoderItems(const QStringList& order)
{
    QList<PracticeItem*> remaining = m_items;
    m_items.clear();
    for (const QString& name : order) {
        for (int i = 0; i < remaining.size(); ++i) {
            if (remaining.at(i) && remaining.at(i)->name() == name) {
                m_items.append(remaining.takeAt(i));
                break;
            }
        }
    }
    // Nothing refers to the items left out; the item models hold guarded pointers only.
    qDeleteAll(remaining);
}

void PracticeGroup::reset()
{
    for (PracticeItem* walk : qAsConst(m_items)) {
        BRISOLA_ASSERT(walk != NULL);
        if (walk)
            walk->setSelected(false);
    }
}
