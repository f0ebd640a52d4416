#include "app/facades/PracticeItemModel.h"

#include "app/facades/PracticeItem.h"
#include "debug/Debugging.h"

PracticeItemModel::PracticeItemModel()
    : RoleItemModel({{NameRole, "itemName"}, {ProgressRole, "itemProgress"}, {SelectedRole, "itemSelected"},
                     {LockedRole, "itemLocked"}})
{
}

void PracticeItemModel::addPracticeItem(PracticeItem* item)
{
    if (!item)
        return;
    auto* row = new QStandardItem();
    row->setData(item->name(), NameRole);
    row->setData(item->progress(), ProgressRole);
    row->setData(item->selected(), SelectedRole);
    row->setData(item->locked(), LockedRole);
    appendRow(row);
    m_items.append(item);
}

PracticeItem* PracticeItemModel::itemAt(int row) const
{
    return row >= 0 && row < m_items.size() ? m_items.at(row).data() : nullptr;
}

bool PracticeItemModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != SelectedRole)
        return false;
    if (!index.isValid() || index.model() != this || index.row() >= m_items.size()) {
        LOG_WARN("qml-practice", "no practice item at row %d", index.row());
        return false;
    }
    PracticeItem* item = m_items.at(index.row());
    if (!item) {
        LOG_WARN("qml-practice", "practice item of row %d is gone (the model was reloaded)", index.row());
        return false;
    }
    item->setSelected(value.toBool());
    return true;
}
