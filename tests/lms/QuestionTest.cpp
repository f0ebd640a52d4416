#include "lms/Lms.h"
#include "lms/LmsExerciseActivity.h"
#include "lms/LmsQuestion.h"
#include "lms/LmsQuestionFilter.h"

#include "LmsTestSupport.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>

using namespace lmstest;

namespace {

// "Resolving" declares tempo (Integer, 120), loop (Boolean, false) and clef (Text, "G").
void loadIntervalPlugin()
{
    static QTemporaryDir dir;
    writeFile(QDir(dir.path()).filePath(QStringLiteral("ResolvingQuestion.json")),
              "{\"_type\": \"Resolving\", \"tempo\": {\"type\": \"Integer\", \"default\": 120},"
              " \"loop\": {\"type\": \"Boolean\", \"default\": false},"
              " \"clef\": {\"type\": \"Text\", \"default\": \"G\"}}");
    Lms::loadPlugins(dir.path());
}

}  // namespace

TEST(Question, SignalsAndTagTexts)
{
    LmsQuestion q;
    QSignalSpy changed(&q, &LmsQuestion::changed);
    QStringList order;
    QObject::connect(&q, &LmsQuestion::typeChanged, [&] { order << "type"; });
    QObject::connect(&q, &LmsQuestion::changed, [&] { order << "changed"; });
    q.setUid(-1);  // the defaults: no signal
    q.setDifficulty(5);
    q.setType(QString());
    q.setType(QStringLiteral("Resolving"));
    q.setAttribute(QStringLiteral("k"), 1);
    q.setAttribute(QStringLiteral("k"), 1);  // always signals
    q.clearAttributes();
    EXPECT_EQ(order, QStringList({"type", "changed", "changed", "changed", "changed"}));
    q.setTagList(QStringLiteral("a, b"));
    EXPECT_EQ(q.getTagList(false), QStringList({"a", "b"}));
    EXPECT_TRUE(q.hasTagList(false));
    q.setTagList(QString());
    EXPECT_EQ(q.getTagList(false), QStringList({""}));
    q.setTagList(QStringLiteral("a,,b"));
    EXPECT_EQ(q.getTagList(false), QStringList({"a", "", "b"}));
    const int before = changed.count();
    q.unsetTagList();
    EXPECT_FALSE(q.hasTagList(false));
    EXPECT_EQ(changed.count(), before);
    q.setTagList(QStringList());  // equal to the (empty) stored list: still inherits
    EXPECT_FALSE(q.hasTagList(false));

    LmsQuestionFilter f;
    f.setTagList(QStringLiteral("   "));
    EXPECT_TRUE(f.getTagList().isEmpty());
    f.setTagList(QStringLiteral(" a ,b, "));
    EXPECT_EQ(f.getTagList(), QStringList({"a", "b", ""}));
}

TEST(Question, FilterMatching)
{
    LmsQuestion q;
    q.setUid(3);
    q.setType(QStringLiteral("Resolving"));
    q.setDifficulty(2);
    q.setTagList(QStringList({"a ", "third"}));

    EXPECT_FALSE(q.matchFilter(nullptr));
    LmsQuestionFilter f;
    f.setDifficulty(0);
    EXPECT_TRUE(q.matchFilter(&f));
    f.setTagList(QStringList({" a"}));
    EXPECT_TRUE(q.matchFilter(&f));
    f.setTagList(QStringList({"A"}));
    EXPECT_FALSE(q.matchFilter(&f));
    f.setTagList(QStringList({"third", "missing"}));
    EXPECT_FALSE(q.matchFilter(&f));
    f.setTagList(QStringList());
    f.setType(QStringLiteral("Other"));
    EXPECT_FALSE(q.matchFilter(&f));
    f.setType(QString());
    f.setDifficulty(5);
    EXPECT_FALSE(q.matchFilter(&f));
    // A uid decides alone.
    f.setUid(3);
    f.setType(QStringLiteral("Other"));
    f.setTagList(QStringList({"nope"}));
    EXPECT_TRUE(q.matchFilter(&f));
    f.setCount(4);
    EXPECT_EQ(f.getCount(), 1);
    f.setUid(-1);
    EXPECT_EQ(f.getCount(), 4);

    std::unique_ptr<LmsQuestionFilter> copy(f.getCopy());
    EXPECT_EQ(copy->getCount(), 4);
    EXPECT_EQ(copy->getTagList(), f.getTagList());
}

TEST(Question, InheritedTagsComeFromTheTemplateButDoNotMatch)
{
    LmsExerciseActivity activity(QStringLiteral("A"), QStringLiteral("00_a"), nullptr);
    auto* templ = new LmsQuestion();
    templ->setType(QStringLiteral("Resolving"));
    templ->setTagList(QStringLiteral("x"));
    activity.getTemplateMap().insert(templ);
    auto* q = new LmsQuestion();
    q->setType(QStringLiteral("Resolving"));
    activity.getQuestionList().append(q);

    EXPECT_EQ(q->getTagList(true), QStringList({"x"}));
    EXPECT_TRUE(q->getTagList(false).isEmpty());
    EXPECT_TRUE(q->hasDefaultTagList());
    EXPECT_TRUE(q->hasTagList(true));
    EXPECT_FALSE(q->hasTagList(false));
    LmsQuestionFilter f;
    f.setDifficulty(0);
    f.setTagList(QStringList({"x"}));
    EXPECT_FALSE(q->matchFilter(&f));

    // Asked with true, hasTagList speaks of the template alone: own tags do not count.
    auto* other = new LmsQuestion();
    other->setType(QStringLiteral("Untagged"));
    other->setTagList(QStringLiteral("y"));
    activity.getQuestionList().append(other);
    EXPECT_TRUE(other->hasTagList(false));
    EXPECT_FALSE(other->hasTagList(true));
    EXPECT_EQ(other->getTagList(true), QStringList({"y"}));
    EXPECT_FALSE(activity.getTemplateMap().contains(QStringLiteral("Untagged")));
}

TEST(Question, AttributesResolveThroughTemplateAndPluginDefault)
{
    loadIntervalPlugin();
    LmsExerciseActivity activity(QStringLiteral("A"), QStringLiteral("00_a"), nullptr);
    auto* templ = new LmsQuestion();
    templ->setType(QStringLiteral("Resolving"));
    templ->setAttribute(QStringLiteral("tempo"), QStringLiteral("90"));
    activity.getTemplateMap().insert(templ);
    auto* q = new LmsQuestion();
    q->setType(QStringLiteral("Resolving"));
    q->setAttribute(QStringLiteral("loop"), QStringLiteral("true"));
    q->setAttribute(QStringLiteral("private"), 7);
    activity.getQuestionList().append(q);
    ASSERT_EQ(q->getUid(), 0);

    QVariantMap resolved = q->getResolvedAttributeMap();
    EXPECT_EQ(resolved.keys(), QStringList({"_type", "clef", "loop", "tempo"}));
    EXPECT_EQ(resolved.value(QStringLiteral("tempo")).userType(), QMetaType::Int);
    EXPECT_EQ(resolved.value(QStringLiteral("tempo")).toInt(), 90);
    EXPECT_EQ(resolved.value(QStringLiteral("loop")).userType(), QMetaType::Bool);
    EXPECT_TRUE(resolved.value(QStringLiteral("loop")).toBool());
    EXPECT_EQ(resolved.value(QStringLiteral("clef")).toString(), QStringLiteral("G"));
    EXPECT_EQ(resolved.value(QStringLiteral("_type")).toString(), QStringLiteral("Resolving"));
    EXPECT_FALSE(q->getAttribute(QStringLiteral("tempo"), false).isValid());
    EXPECT_TRUE(q->hasAttributeDefault(QStringLiteral("tempo")));
    EXPECT_EQ(q->getAttributeDefault(QStringLiteral("tempo")).toString(), QStringLiteral("90"));

    templ->clearAttributes();
    resolved = q->getResolvedAttributeMap();
    EXPECT_EQ(resolved.value(QStringLiteral("tempo")).toInt(), 120);

    // A template never reads another template, only the plug-in default.
    templ->setAttribute(QStringLiteral("clef"), QStringLiteral("F"));
    EXPECT_EQ(templ->getAttribute(QStringLiteral("tempo")).toInt(), 120);
    EXPECT_EQ(q->getAttribute(QStringLiteral("clef")).toString(), QStringLiteral("F"));

    // Without an activity only the own values count.
    std::unique_ptr<LmsQuestion> loose(q->getCopy());
    EXPECT_EQ(loose->getActivity(), nullptr);
    EXPECT_EQ(loose->getUid(), 0);
    EXPECT_FALSE(loose->getAttribute(QStringLiteral("clef")).isValid());
    EXPECT_EQ(loose->getAttribute(QStringLiteral("loop")).toString(), QStringLiteral("true"));
}
