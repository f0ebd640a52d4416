#include "app/facades/PracticeGroupModel.h"

#include "app/facades/PracticeGroup.h"
#include "app/facades/PracticeItemModel.h"

PracticeGroupModel::PracticeGroupModel()
    : RoleItemModel({{GroupNameRole, "groupName"}, {ItemModelRole, "itemModel"}})
{
}

PracticeGroupModel::~PracticeGroupModel()
{
    qDeleteAll(m_itemModels);
}

void PracticeGroupModel::addPracticeGroup(PracticeGroup* group)
{
    if (!group)
        return;
    auto* itemModel = new PracticeItemModel();
    for (PracticeItem* item : group->items())
        itemModel->addPracticeItem(item);
    m_itemModels.append(itemModel);
    auto* row = new QStandardItem();
    row->setData(group->name(), GroupNameRole);
    row->setData(QVariant::fromValue(itemModel), ItemModelRole);
    appendRow(row);
}

void PracticeGroupModel::clearGroups()
{
    clear();
    for (PracticeItemModel* itemModel : qAsConst(m_itemModels))
        itemModel->deleteLater();
    m_itemModels.clear();
}

PracticeItemModel* PracticeGroupModel::itemModelAt(int row) const
{
    return row >= 0 && row < m_itemModels.size() ? m_itemModels.at(row) : nullptr;
}
