#include "LmsFixtures.h"
#include "support/Watchdog.h"

#include <algorithm>

using namespace lmstest;

namespace {

LmsQuestion* makeQuestion(const QString& type = QStringLiteral("T"), int difficulty = 5)
{
    auto* q = new LmsQuestion();
    q->setType(type);
    q->setDifficulty(difficulty);
    return q;
}

QList<int> uids(const QList<LmsQuestion*>& questions)
{
    QList<int> out;
    for (const LmsQuestion* q : questions)
        out << q->getUid();
    return out;
}

}  // namespace

class QuestionActivity : public ::testing::Test {
protected:
    void append(int count)
    {
        for (int i = 0; i < count; ++i)
            list().append(makeQuestion());
    }
    LmsQuestionActivity::QuestionList& list() { return a.getQuestionList(); }
    LmsExerciseActivity a{QStringLiteral("A"), QStringLiteral("00_a"), nullptr};
};

TEST_F(QuestionActivity, AppendingNumbersAfterTheLargestUid)
{
    append(4);
    EXPECT_EQ(uids(list().getQuestions()), QList<int>({0, 1, 2, 3}));
    list().remove(list().getQuestion(3));  // the largest leaves: its uid is free again
    list().append(makeQuestion());
    EXPECT_EQ(list().getQuestion(3)->getUid(), 3);
    list().remove(1);
    auto* numbered = makeQuestion();
    numbered->setUid(17);  // replaced
    list().append(numbered);
    EXPECT_EQ(numbered->getUid(), 4);
    EXPECT_EQ(list().append(numbered), numbered);  // already there: unchanged
    EXPECT_EQ(list().getCount(), 4);
    EXPECT_EQ(numbered->getActivity(), &a);
}

TEST_F(QuestionActivity, AppendingStaysConstantTimeInLargeActivities)
{
    // Each append scanned the whole list twice: 200,000 questions took minutes to load.
    Watchdog watchdog(20000, "appending 200,000 questions");
    append(200000);
    EXPECT_EQ(list().getQuestion(199999)->getUid(), 199999);
}

TEST_F(QuestionActivity, TemplatesReplaceByTypeAndMoveBetweenActivities)
{
    QPointer<LmsQuestion> first = makeQuestion();
    a.getTemplateMap().insert(first);
    auto* second = makeQuestion();
    second->setUid(8);
    a.getTemplateMap().insert(second);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(a.getTemplate(QStringLiteral("T")), second);
    a.getTemplateMap().insert(second);  // re-inserting the current template keeps it
    EXPECT_EQ(a.getTemplate(QStringLiteral("T")), second);
    // setQuestionAsTemplate takes only the activity's own questions; insert detaches first.
    LmsExerciseActivity b(QStringLiteral("B"), QStringLiteral("01_b"), nullptr);
    LmsQuestion* foreign = b.getQuestionList().append(makeQuestion());
    a.setQuestionAsTemplate(foreign);
    EXPECT_EQ(a.getTemplate(QStringLiteral("T")), second);
    a.getTemplateMap().insert(foreign);
    EXPECT_EQ(b.getQuestionList().getCount(), 0);
    EXPECT_EQ(foreign->getActivity(), &a);
    LmsQuestion* own = list().append(makeQuestion(QStringLiteral("Z")));
    a.setQuestionAsTemplate(own);
    EXPECT_EQ(a.getTemplate(QStringLiteral("Z")), own);
    EXPECT_EQ(list().getCount(), 0);
}

TEST_F(QuestionActivity, CreatingQuestionsNeedsAKnownType)
{
    Lms::loadPlugins(fixture(QStringLiteral("registry/does-not-exist")));
    EXPECT_EQ(a.appendQuestion(), nullptr);
    Lms::loadPlugins(fixture(QStringLiteral("valid/plugins")));  // Interval, Rhythm
    append(2);
    LmsQuestion* q = a.appendQuestion();
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(describeQuestion(q), QStringLiteral("Interval uid=2 d=5 own=0 tags=[] attrs={}"));
    EXPECT_EQ(q->getActivity(), &a);
}

TEST_F(QuestionActivity, SelectionPrefersLeastRecentlyUsed)
{
    for (int i = 0; i < 5; ++i)
        list().append(makeQuestion(i < 4 ? QStringLiteral("T") : QStringLiteral("Other"), 3));
    LmsQuestionFilter filter;
    filter.setType(QStringLiteral("T"));
    filter.setDifficulty(0);
    filter.setCount(3);

    // Four matches, three per call: the first call leaves one unused, which must lead the
    // second call; then two of the first call's, and the third call starts with the one
    // of them left over.
    const QList<LmsQuestion*> first = a.selectQuestions(&filter);
    ASSERT_EQ(first.size(), 3);
    EXPECT_EQ(QSet<LmsQuestion*>(first.begin(), first.end()).size(), 3);  // no repeat within a call
    const QList<LmsQuestion*> second = a.selectQuestions(&filter);
    ASSERT_EQ(second.size(), 3);
    EXPECT_FALSE(first.contains(second[0]));
    EXPECT_TRUE(first.contains(second[1]) && first.contains(second[2]));
    const QList<LmsQuestion*> third = a.selectQuestions(&filter);
    EXPECT_FALSE(second.contains(third[0]));

    // Asking for more than match gives each match once; a uid gives that question.
    filter.setCount(10);
    EXPECT_EQ(a.selectQuestions(&filter).size(), 4);
    filter.setUid(2);
    EXPECT_EQ(uids(a.selectQuestions(&filter)), QList<int>({2}));
}

TEST_F(QuestionActivity, QuestionsTiedOnUseAreShuffled)
{
    // Never-used questions tie on use, and so do questions chosen in one call (they share
    // their last use): the random key orders them anew each time. List order for eight
    // comes out once in 40,320; twenty equal orders of four once in 24^19.
    append(8);
    LmsQuestionFilter any;
    any.setCount(8);
    const QList<int> firstCall = uids(list().selectQuestions(&any));
    EXPECT_NE(firstCall, QList<int>({0, 1, 2, 3, 4, 5, 6, 7}));
    QList<int> sorted = firstCall;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, QList<int>({0, 1, 2, 3, 4, 5, 6, 7}));

    QSet<QList<int>> orders;
    for (int call = 0; call < 20; ++call)
        orders.insert(uids(list().selectQuestions(&any)).mid(0, 4));
    EXPECT_GT(orders.size(), 1);
}

TEST_F(QuestionActivity, AssociationsOwnTheirFiltersAndMove)
{
    LmsModuleElement unit(QStringLiteral("Unit"), QStringLiteral("00_unit"), nullptr);
    auto* quiz = new LmsTestActivity(QStringLiteral("Quiz"), QStringLiteral("00_quiz"), &unit);
    new LmsLearningActivity(QStringLiteral("Page"), QStringLiteral("01_page"), &unit);
    auto* drill = new LmsExerciseActivity(QStringLiteral("Drill"), QStringLiteral("02_drill"), &unit);
    EXPECT_EQ(quiz->getSibling(QStringLiteral("Drill")), drill);
    EXPECT_EQ(quiz->getSibling(QStringLiteral("Page")), nullptr);  // there, but no question activity

    LmsQuestionAssociation* first = quiz->appendQuestionAssociation();
    EXPECT_EQ(first->getSource(), quiz);  // a new association draws from its own activity
    LmsQuestionAssociation* second = quiz->appendQuestionAssociation();
    second->setSource(drill);
    LmsQuestionAssociation* third = quiz->appendQuestionAssociation();
    auto& list = quiz->getAssociationList();
    // A move to a later index lands before it; past the end it goes last.
    const struct { int from; int to; QList<LmsQuestionAssociation*> after; } moves[] = {
        {0, 2, {second, first, third}},
        {2, 0, {third, second, first}},
        {0, 5, {second, first, third}},
        {-1, 0, {second, first, third}},
    };
    for (const auto& m : moves) {
        quiz->moveAssociation(m.from, m.to);
        EXPECT_EQ(list.getAssociations(), m.after) << m.from << "->" << m.to;
    }

    // Copies keep sources and copy filters; a list of another activity is refused.
    LmsQuestionActivity::AssociationList copy(&list);
    EXPECT_EQ(copy.getAssociation(0)->getSource(), drill);
    copy.getAssociation(0)->getFilter()->setCount(7);
    EXPECT_EQ(second->getFilter()->getCount(), 0);
    drill->assignAssociationList(copy);
    EXPECT_EQ(drill->getAssociationList().getCount(), 0);
    quiz->assignAssociationList(copy);
    EXPECT_EQ(list.getAssociation(0)->getFilter()->getCount(), 7);
}

TEST_F(QuestionActivity, CopyingTheQuestionSetRenumbers)
{
    a.getTemplateMap().insert(makeQuestion());
    list().append(makeQuestion(QStringLiteral("T"), 1));
    list().append(makeQuestion(QStringLiteral("T"), 2));
    list().remove(0);
    LmsExerciseActivity to(QStringLiteral("B"), QStringLiteral("01_b"), nullptr);
    to.getQuestionList().append(makeQuestion(QStringLiteral("Old")));
    to.assignQestionSet(&a);
    EXPECT_EQ(uids(to.getQuestionList().getQuestions()), QList<int>({0}));
    EXPECT_EQ(to.getQuestionList().getQuestion(0)->getDifficulty(), 2);
    EXPECT_NE(to.getTemplate(QStringLiteral("T")), a.getTemplate(QStringLiteral("T")));
    EXPECT_EQ(to.getTemplate(QStringLiteral("T"))->getActivity(), &to);
}
