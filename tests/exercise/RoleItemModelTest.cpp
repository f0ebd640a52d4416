#include "exercise/RoleItemModel.h"

#include <gtest/gtest.h>

#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QStandardItem>
#include <QtQml>

// The outcome model as the engine fills it and as QML reads it: rows by role name.

namespace {

const int OutcomeRole = 257;

void appendRow(RoleItemModel& model, const QList<QPair<int, QVariant>>& values)
{
    auto* item = new QStandardItem;
    for (const auto& v : values)
        item->setData(v.second, v.first);
    model.appendRow(item);
}

} // namespace

TEST(RoleItemModelTest, QmlReadsLengthAndRowsByRoleName)
{
    qmlRegisterAnonymousType<RoleItemModel>("Tarvolin", 1);
    RoleItemModel model({{OutcomeRole, "outcome"}});
    QQmlEngine engine;
    engine.rootContext()->setContextProperty("outcomes", &model);
    QQmlExpression length(engine.rootContext(), nullptr, "outcomes.length");
    QQmlExpression third(engine.rootContext(), nullptr, "outcomes.get(2).outcome");
    EXPECT_EQ(length.evaluate().toInt(), 0);

    for (int grade : {1, 10, 3})
        appendRow(model, {{OutcomeRole, grade}});
    EXPECT_EQ(length.evaluate().toInt(), 3);
    EXPECT_EQ(third.evaluate().toInt(), 3);
    EXPECT_FALSE(third.hasError()) << third.error().toString().toStdString();
    // beyond the last row: one key per role, every value invalid
    for (int row : {3, -1})
        EXPECT_EQ(model.get(row), QVariantMap({{"outcome", QVariant()}})) << row;

    // several roles; a name is read up to its first zero byte
    RoleItemModel stats({{OutcomeRole, "name"}, {OutcomeRole + 1, QByteArray("mark\0junk", 9)}});
    appendRow(stats, {{OutcomeRole, "Intervals"}, {OutcomeRole + 1, 0.75}});
    EXPECT_EQ(RoleItemModel::getModelData(&stats, 0), QVariantMap({{"name", "Intervals"}, {"mark", 0.75}}));
}
