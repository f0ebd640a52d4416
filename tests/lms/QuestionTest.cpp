#include "LmsFixtures.h"

using namespace lmstest;

TEST(Question, TagTextsSplitAtCommas)
{
    // The filter drops blank text; the question keeps it as one empty tag.
    const struct { const char* text; QStringList question; QStringList filter; } rows[] = {
        {"a, b", {"a", "b"}, {"a", "b"}},
        {"a,,b", {"a", "", "b"}, {"a", "", "b"}},
        {" a ,b, ", {"a", "b", ""}, {"a", "b", ""}},
        {"   ", {""}, {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        LmsQuestion q;
        q.setTagList(QString::fromLatin1(r.text));
        EXPECT_EQ(q.getTagList(false), r.question);
        LmsQuestionFilter f;
        f.setTagList(QString::fromLatin1(r.text));
        EXPECT_EQ(f.getTagList(), r.filter);
    }
}

TEST(Question, FilterMatching)
{
    LmsQuestion q;
    q.setUid(3);
    q.setType(QStringLiteral("Resolving"));
    q.setDifficulty(2);
    q.setTagList(QStringList({"a ", "third"}));
    EXPECT_FALSE(q.matchFilter(nullptr));

    // Difficulty 0 means any; tags compare trimmed and case-sensitive; a uid decides alone.
    const struct { int uid; const char* type; int difficulty; QStringList tags; bool match; } rows[] = {
        {-1, "", 0, {}, true},
        {-1, "", 0, {" a"}, true},
        {-1, "", 0, {"A"}, false},
        {-1, "", 0, {"third", "missing"}, false},
        {-1, "Other", 0, {}, false},
        {-1, "Resolving", 2, {"third"}, true},
        {-1, "", 5, {}, false},
        {3, "Other", 5, {"nope"}, true},
        {4, "Resolving", 2, {}, false},
    };
    for (const auto& r : rows) {
        LmsQuestionFilter f;
        f.setUid(r.uid);
        f.setType(QString::fromLatin1(r.type));
        f.setDifficulty(r.difficulty);
        f.setTagList(r.tags);
        EXPECT_EQ(q.matchFilter(&f), r.match) << r.uid << ' ' << r.type << ' ' << r.difficulty << ' '
                                              << r.tags.join(QLatin1Char('/')).toStdString();
    }
}

// An "Interval" template and question in one activity. The plug-in declares tempo (Integer,
// 120), loop (Boolean, false), range (a map) and clef (Text, "G").
class QuestionInActivity : public ::testing::Test {
protected:
    void SetUp() override
    {
        Lms::loadPlugins(fixture(QStringLiteral("valid/plugins")));
        templ->setType(QStringLiteral("Interval"));
        activity.getTemplateMap().insert(templ);
        q->setType(QStringLiteral("Interval"));
        activity.getQuestionList().append(q);
    }
    LmsExerciseActivity activity{QStringLiteral("A"), QStringLiteral("00_a"), nullptr};
    LmsQuestion* templ = new LmsQuestion();
    LmsQuestion* q = new LmsQuestion();
};

TEST_F(QuestionInActivity, InheritedTagsComeFromTheTemplateButDoNotMatch)
{
    templ->setTagList(QStringLiteral("x"));
    EXPECT_EQ(q->getTagList(true), QStringList({"x"}));
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
    EXPECT_FALSE(other->hasTagList(true));
    EXPECT_EQ(other->getTagList(true), QStringList({"y"}));
}

TEST_F(QuestionInActivity, AttributesResolveThroughTemplateAndPluginDefault)
{
    templ->setAttribute(QStringLiteral("tempo"), QStringLiteral("90"));
    q->setAttribute(QStringLiteral("loop"), QStringLiteral("true"));
    q->setAttribute(QStringLiteral("private"), 7);

    // Converted by attribute type; undeclared attributes are left out.
    const QVariantMap resolved = q->getResolvedAttributeMap();
    EXPECT_EQ(resolved, QVariantMap({{"_type", QStringLiteral("Interval")},
                                     {"clef", QStringLiteral("G")},
                                     {"loop", true},
                                     {"range", QVariantMap({{"high", QStringLiteral("C5")}, {"low", QStringLiteral("C4")}})},
                                     {"tempo", 90}}));
    EXPECT_EQ(resolved.value(QStringLiteral("tempo")).userType(), QMetaType::Int);
    EXPECT_FALSE(q->getAttribute(QStringLiteral("tempo"), false).isValid());
    EXPECT_EQ(q->getAttributeDefault(QStringLiteral("tempo")).toString(), QStringLiteral("90"));

    templ->clearAttributes();
    EXPECT_EQ(q->getResolvedAttributeMap().value(QStringLiteral("tempo")).toInt(), 120);

    // A template never reads another template, only the plug-in default.
    templ->setAttribute(QStringLiteral("clef"), QStringLiteral("F"));
    EXPECT_EQ(templ->getAttribute(QStringLiteral("tempo")).toInt(), 120);
    EXPECT_EQ(q->getAttribute(QStringLiteral("clef")).toString(), QStringLiteral("F"));

    // Without an activity only the own values count.
    std::unique_ptr<LmsQuestion> loose(q->getCopy());
    EXPECT_FALSE(loose->getAttribute(QStringLiteral("clef")).isValid());
    EXPECT_EQ(loose->getAttribute(QStringLiteral("loop")).toString(), QStringLiteral("true"));
}
