#include "exercise/RoleItemModel.h"

#include <gtest/gtest.h>

#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QSignalSpy>
#include <QStandardItem>
#include <QtQml>

// The outcome model as the engine fills it and as QML reads it.

namespace {

const int OutcomeRole = Qt::UserRole + 1;

void appendOutcome(RoleItemModel& model, int grade)
{
    auto* item = new QStandardItem;
    item->setData(grade, OutcomeRole);
    model.appendRow(item);
}

} // namespace

TEST(RoleItemModelTest, RowsReadByRoleName)
{
    RoleItemModel model({{OutcomeRole, "outcome"}});
    EXPECT_EQ(OutcomeRole, 257);
    for (int grade : {1, 10, 7})
        appendOutcome(model, grade);

    const QVariantMap third = model.get(2);
    EXPECT_EQ(third.keys(), QStringList({"outcome"}));
    EXPECT_EQ(third.value("outcome").type(), QVariant::Int);
    EXPECT_EQ(third.value("outcome").toInt(), 7);

    // beyond the last row: one key per role, every value invalid
    for (int row : {3, -1}) {
        const QVariantMap none = model.get(row);
        ASSERT_EQ(none.size(), 1) << row;
        EXPECT_FALSE(none.value("outcome").isValid()) << row;
    }

    RoleItemModel empty({});
    appendOutcome(empty, 1);
    EXPECT_TRUE(empty.get(0).isEmpty());
    EXPECT_TRUE(empty.roleNames().isEmpty());
}

TEST(RoleItemModelTest, SeveralRolesAndNamesCutAtZeroByte)
{
    RoleItemModel model({{Qt::UserRole + 1, "name"}, {Qt::UserRole + 2, QByteArray("mark\0junk", 9)}});
    auto* item = new QStandardItem;
    item->setData("Intervals", Qt::UserRole + 1);
    item->setData(0.75, Qt::UserRole + 2);
    model.appendRow(item);

    const QVariantMap row = RoleItemModel::getModelData(&model, 0);
    EXPECT_EQ(row.keys(), QStringList({"mark", "name"}));
    EXPECT_EQ(row.value("name").toString(), QString("Intervals"));
    EXPECT_DOUBLE_EQ(row.value("mark").toDouble(), 0.75);
    EXPECT_TRUE(RoleItemModel::getModelData(nullptr, 0).isEmpty());
}

TEST(RoleItemModelTest, QmlReadsLengthAndRows)
{
    qmlRegisterAnonymousType<RoleItemModel>("Tarvolin", 1);
    RoleItemModel model({{OutcomeRole, "outcome"}});
    QQmlEngine engine;
    engine.rootContext()->setContextProperty("outcomes", &model);

    QQmlExpression length(engine.rootContext(), nullptr, "outcomes.length");
    QQmlExpression third(engine.rootContext(), nullptr, "outcomes.get(2).outcome");
    EXPECT_EQ(length.evaluate().toInt(), 0);

    QSignalSpy changed(&model, &RoleItemModel::lengthChanged);
    for (int grade : {1, 10, 3})
        appendOutcome(model, grade);
    // the fillers announce new rows; the model does not
    EXPECT_EQ(changed.count(), 0);
    emit model.lengthChanged();
    EXPECT_EQ(length.evaluate().toInt(), 3);
    EXPECT_EQ(third.evaluate().toInt(), 3);
    EXPECT_FALSE(third.hasError()) << third.error().toString().toStdString();

    model.clear();
    EXPECT_EQ(length.evaluate().toInt(), 0);
}
