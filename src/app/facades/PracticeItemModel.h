#pragma once

#include "exercise/RoleItemModel.h"

#include <QList>
#include <QPointer>

class PracticeItem;

// The items of one practice group as QML rows (copies taken when the row is added). A delegate
// ticking an item writes through setData; the items are watched, so a delegate outliving a
// reload writes into nothing instead of a freed item.
class PracticeItemModel : public RoleItemModel {
    Q_OBJECT
public:
    enum Role { NameRole = Qt::UserRole + 10, ProgressRole, SelectedRole, LockedRole };

    PracticeItemModel();
    ~PracticeItemModel() override = default;

    void addPracticeItem(PracticeItem* item);
    // Role 268 only: ticks or clears the row's item; the row's copy stays as it was.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    PracticeItem* itemAt(int row) const;

private:
    QList<QPointer<PracticeItem>> m_items;
};
