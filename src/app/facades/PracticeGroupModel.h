#pragma once

#include "exercise/RoleItemModel.h"

#include <QList>

class PracticeGroup;
class PracticeItemModel;

// The practice groups as QML rows: the group's name and a model of its items.
class PracticeGroupModel : public RoleItemModel {
    Q_OBJECT
public:
    enum Role { GroupNameRole = Qt::UserRole + 1, ItemModelRole };

    PracticeGroupModel();
    ~PracticeGroupModel() override;

    void addPracticeGroup(PracticeGroup* group);
    // Removes every row; the item models go once the event loop has let QML drop them.
    void clearGroups();
    PracticeItemModel* itemModelAt(int row) const;

private:
    QList<PracticeItemModel*> m_itemModels;
};

