#include "lms/Lms.h"
#include "lms/LmsCourse.h"
#include "lms/LmsExerciseActivity.h"
#include "lms/LmsLearningActivity.h"
#include "lms/LmsQuestion.h"
#include "lms/LmsQuestionAssociation.h"
#include "lms/LmsQuestionFilter.h"
#include "lms/LmsTestActivity.h"

#include "LmsTestSupport.h"
#include "support/Watchdog.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>

using namespace lmstest;

namespace {

LmsQuestion* makeQuestion(const QString& type, int difficulty = 5, const QStringList& tags = {})
{
    auto* q = new LmsQuestion();
    q->setType(type);
    q->setDifficulty(difficulty);
    if (!tags.isEmpty())
        q->setTagList(tags);
    return q;
}

void appendQuestions(LmsQuestionActivity& activity, int count)
{
    for (int i = 0; i < count; ++i)
        activity.getQuestionList().append(makeQuestion(QStringLiteral("T")));
}

// Any question, so many per call.
LmsQuestionFilter countFilter(int count)
{
    LmsQuestionFilter filter;
    filter.setCount(count);
    return filter;
}

QList<int> uids(const QList<LmsQuestion*>& questions)
{
    QList<int> out;
    for (const LmsQuestion* q : questions)
        out << q->getUid();
    return out;
}

}  // namespace

TEST(QuestionActivity, AppendingNumbersQuestions)
{
    LmsExerciseActivity a(QStringLiteral("A"), QStringLiteral("00_a"), nullptr);
    auto& list = a.getQuestionList();
    appendQuestions(a, 4);
    EXPECT_EQ(uids(list.getQuestions()), QList<int>({0, 1, 2, 3}));
    list.remove(list.getQuestion(3));
    list.append(makeQuestion(QStringLiteral("T")));
    EXPECT_EQ(list.getQuestion(3)->getUid(), 3);
    list.remove(1);
    list.append(makeQuestion(QStringLiteral("T")));
    EXPECT_EQ(list.getQuestion(3)->getUid(), 4);

    auto* numbered = makeQuestion(QStringLiteral("T"));
    numbered->setUid(17);
    list.append(numbered);
    EXPECT_EQ(numbered->getUid(), 5);
    EXPECT_EQ(list.append(numbered), numbered);  // already there: unchanged
    EXPECT_EQ(list.getCount(), 5);
    EXPECT_EQ(numbered->getActivity(), &a);
    EXPECT_EQ(list.getQuestion(-1), nullptr);
    EXPECT_EQ(list.getQuestion(99), nullptr);

    // Nothing here touches the element's own change state.
    EXPECT_FALSE(a.isModified());
}

TEST(QuestionActivity, AppendingStaysConstantTimeInLargeActivities)
{
    // Each append scanned the whole list twice: 200,000 questions took minutes to load.
    LmsExerciseActivity a(QStringLiteral("A"), QStringLiteral("00_a"), nullptr);
    Watchdog watchdog(20000, "appending 200,000 questions");
    appendQuestions(a, 200000);
    auto& list = a.getQuestionList();
    EXPECT_EQ(list.getQuestion(199999)->getUid(), 199999);
    list.remove(199999);  // the largest leaves: its uid is free again
    EXPECT_EQ(list.getNextUid(), 199999);
}

TEST(QuestionActivity, TemplatesReplaceByType)
{
    LmsExerciseActivity a(QStringLiteral("A"), QStringLiteral("00_a"), nullptr);
    QPointer<LmsQuestion> first = makeQuestion(QStringLiteral("T"));
    a.getTemplateMap().insert(first);
    auto* second = makeQuestion(QStringLiteral("T"));
    second->setUid(8);
    a.getTemplateMap().insert(second);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(a.getTemplate(QStringLiteral("T")), second);
    EXPECT_EQ(second->getUid(), -1);
    a.getTemplateMap().insert(second);  // re-inserting the current template is harmless
    EXPECT_EQ(a.getTemplate(QStringLiteral("T")), second);
    a.getTemplateMap().insert(makeQuestion(QStringLiteral("A")));
    EXPECT_EQ(a.getTemplateMap().getTypes(), QStringList({"A", "T"}));
    EXPECT_EQ(a.getTemplateMap().getIndexOf(second), 1);
    EXPECT_EQ(a.getTemplateMap().getQuestion(1), second);
    EXPECT_EQ(a.getTemplateMap().getQuestion(2), nullptr);

    // A question of another activity is not taken.
    LmsExerciseActivity b(QStringLiteral("B"), QStringLiteral("01_b"), nullptr);
    LmsQuestion* foreign = b.getQuestionList().append(makeQuestion(QStringLiteral("T")));
    a.setQuestionAsTemplate(foreign);
    EXPECT_EQ(foreign->getActivity(), &b);
    EXPECT_EQ(a.getTemplate(QStringLiteral("T")), second);

    // Moving a question into a template map of another activity detaches it first.
    a.getTemplateMap().insert(foreign);
    EXPECT_EQ(b.getQuestionList().getCount(), 0);
    EXPECT_EQ(foreign->getActivity(), &a);
    EXPECT_EQ(a.getTemplate(QStringLiteral("T")), foreign);

    LmsQuestion* own = a.getQuestionList().append(makeQuestion(QStringLiteral("Z")));
    a.setQuestionAsTemplate(own);
    EXPECT_EQ(a.getTemplate(QStringLiteral("Z")), own);
    EXPECT_EQ(a.getQuestionList().getCount(), 0);

    LmsQuestion* taken = a.takeQuestion(own);
    EXPECT_EQ(taken, own);
    EXPECT_EQ(own->getActivity(), nullptr);
    delete own;
}

TEST(QuestionActivity, CreatingQuestionsNeedsAKnownType)
{
    QTemporaryDir none;
    Lms::loadPlugins(none.path());
    LmsExerciseActivity a(QStringLiteral("A"), QStringLiteral("00_a"), nullptr);
    EXPECT_EQ(a.appendQuestion(), nullptr);
    EXPECT_EQ(a.getQuestionList().getCount(), 0);

    QTemporaryDir plugins;
    writeFile(QDir(plugins.path()).filePath(QStringLiteral("ZetaQuestion.json")), "{}");
    writeFile(QDir(plugins.path()).filePath(QStringLiteral("AlphaQuestion.json")), "{}");
    Lms::loadPlugins(plugins.path());
    LmsQuestion* q = a.appendQuestion();
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->getType(), QStringLiteral("Alpha"));
    EXPECT_EQ(q->getUid(), 0);
    EXPECT_EQ(q->getActivity(), &a);
}

TEST(QuestionActivity, SelectionPrefersLeastRecentlyUsed)
{
    LmsExerciseActivity a(QStringLiteral("A"), QStringLiteral("00_a"), nullptr);
    for (int i = 0; i < 5; ++i)
        a.getQuestionList().append(makeQuestion(i < 4 ? QStringLiteral("T") : QStringLiteral("Other"), 3));
    LmsQuestionFilter filter;
    filter.setType(QStringLiteral("T"));
    filter.setDifficulty(0);
    filter.setCount(3);
    EXPECT_EQ(a.getMatchesCount(&filter), 4);
    EXPECT_EQ(a.getMatchesCount(nullptr), 0);

    // Four matches, three per call: the first call leaves one unused, which must lead the
    // second call; then two of the first call's, and the third call starts with the one
    // of them left over.
    const QList<LmsQuestion*> first = a.selectQuestions(&filter);
    ASSERT_EQ(first.size(), 3);
    EXPECT_EQ(QSet<LmsQuestion*>(first.begin(), first.end()).size(), 3);  // no repeat within a call
    LmsQuestion* unused = nullptr;
    for (LmsQuestion* q : a.getAllMatchedQuestions(&filter)) {
        if (!first.contains(q))
            unused = q;
    }
    ASSERT_NE(unused, nullptr);
    EXPECT_FALSE(a.getQuestionList().getLastUsed(unused).isValid());
    EXPECT_TRUE(a.getQuestionList().getLastUsed(first[0]).isValid());
    EXPECT_EQ(a.getQuestionList().getLastUsed(first[0]).timeSpec(), Qt::UTC);

    const QList<LmsQuestion*> second = a.selectQuestions(&filter);
    ASSERT_EQ(second.size(), 3);
    EXPECT_EQ(second[0], unused);
    EXPECT_TRUE(first.contains(second[1]) && first.contains(second[2]));
    LmsQuestion* leftOver = nullptr;
    for (LmsQuestion* q : first) {
        if (!second.contains(q))
            leftOver = q;
    }
    ASSERT_NE(leftOver, nullptr);

    // Across calls every question comes round before any repeats.
    const QList<LmsQuestion*> third = a.selectQuestions(&filter);
    EXPECT_EQ(third[0], leftOver);

    // Asking for more than match gives each match once.
    filter.setCount(10);
    EXPECT_EQ(a.selectQuestions(&filter).size(), 4);
    filter.setCount(0);
    EXPECT_TRUE(a.selectQuestions(&filter).isEmpty());
    filter.setUid(2);
    const QList<LmsQuestion*> byUid = a.selectQuestions(&filter);
    ASSERT_EQ(byUid.size(), 1);
    EXPECT_EQ(byUid[0]->getUid(), 2);
}

TEST(QuestionActivity, TooFewQuestionsComeRoundAgainInTurn)
{
    LmsExerciseActivity a(QStringLiteral("A"), QStringLiteral("00_a"), nullptr);
    appendQuestions(a, 2);
    LmsQuestionFilter filter = countFilter(1);
    QList<LmsQuestion*> picks;
    for (int call = 0; call < 6; ++call)
        picks += a.selectQuestions(&filter);
    ASSERT_EQ(picks.size(), 6);
    EXPECT_NE(picks[0], picks[1]);
    for (int i = 2; i < picks.size(); ++i)
        EXPECT_EQ(picks[i], picks[i - 2]) << i;  // the one not chosen last time, every time
}

TEST(QuestionActivity, UnusedQuestionsAreShuffled)
{
    // Eight never-used questions tie on use; the random keys order them (the list order
    // comes out once in 40,320).
    LmsExerciseActivity a(QStringLiteral("A"), QStringLiteral("00_a"), nullptr);
    appendQuestions(a, 8);
    LmsQuestionFilter filter = countFilter(8);
    const QList<LmsQuestion*> chosen = a.selectQuestions(&filter);
    ASSERT_EQ(chosen.size(), 8);
    EXPECT_NE(uids(chosen), QList<int>({0, 1, 2, 3, 4, 5, 6, 7}));
    QList<int> sorted = uids(chosen);
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, QList<int>({0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(QuestionActivity, QuestionsChosenTogetherAreShuffledAgain)
{
    // Chosen in one call, the questions share their last use: the random key orders them
    // anew each time, so a whole-set selection does not freeze into one order. Twenty equal
    // orders of four in a row come out once in 24^19.
    LmsExerciseActivity a(QStringLiteral("A"), QStringLiteral("00_a"), nullptr);
    appendQuestions(a, 4);
    LmsQuestionFilter filter = countFilter(4);
    QSet<QList<int>> orders;
    for (int call = 0; call < 20; ++call) {
        const QList<LmsQuestion*> chosen = a.selectQuestions(&filter);
        ASSERT_EQ(chosen.size(), 4);
        orders.insert(uids(chosen));
    }
    EXPECT_GT(orders.size(), 1);
}

TEST(QuestionActivity, AssociationsOwnTheirFiltersAndMove)
{
    LmsCourse course(QStringLiteral("Course"));
    auto* grade = new LmsModuleElement(QStringLiteral("Unit A"), QStringLiteral("00_unit_a"), &course);
    auto* quiz = new LmsTestActivity(QStringLiteral("Quiz"), QStringLiteral("00_quiz"), grade);
    auto* page = new LmsLearningActivity(QStringLiteral("Page"), QStringLiteral("01_page"), grade);
    auto* drill = new LmsExerciseActivity(QStringLiteral("Drill"), QStringLiteral("02_drill"), grade);
    EXPECT_EQ(quiz->getSibling(QStringLiteral("Drill")), drill);
    ASSERT_EQ(grade->getElement(QStringLiteral("Page")), page);
    EXPECT_EQ(quiz->getSibling(QStringLiteral("Page")), nullptr);  // there, but no question activity
    EXPECT_EQ(quiz->getSibling(QStringLiteral("None")), nullptr);

    LmsQuestionAssociation* a = quiz->appendQuestionAssociation();
    EXPECT_EQ(a->getSource(), quiz);
    ASSERT_NE(a->getFilter(), nullptr);
    EXPECT_EQ(a->getFilter()->getUid(), -1);
    EXPECT_EQ(a->getFilter()->getDifficulty(), 5);
    EXPECT_EQ(a->getFilter()->getCount(), 0);
    LmsQuestionAssociation* b = quiz->appendQuestionAssociation();
    b->setSource(drill);
    LmsQuestionAssociation* c = quiz->appendQuestionAssociation();

    auto& list = quiz->getAssociationList();
    const auto order = [&] {
        QList<LmsQuestionAssociation*> out = list.getAssociations();
        return out;
    };
    quiz->moveAssociation(0, 2);
    EXPECT_EQ(order(), QList<LmsQuestionAssociation*>({b, a, c}));
    quiz->moveAssociation(2, 0);
    EXPECT_EQ(order(), QList<LmsQuestionAssociation*>({c, b, a}));
    quiz->moveAssociation(0, 5);
    EXPECT_EQ(order(), QList<LmsQuestionAssociation*>({b, a, c}));

    // Copies keep sources and copy filters; a list of another activity is refused.
    LmsQuestionActivity::AssociationList copy(&list);
    ASSERT_EQ(copy.getCount(), 3);
    EXPECT_EQ(copy.getAssociation(0)->getSource(), drill);
    EXPECT_NE(copy.getAssociation(0)->getFilter(), b->getFilter());
    drill->assignAssociationList(copy);
    EXPECT_EQ(drill->getAssociationList().getCount(), 0);
    copy.getAssociation(0)->getFilter()->setCount(7);
    quiz->assignAssociationList(copy);
    EXPECT_EQ(list.getCount(), 3);
    EXPECT_EQ(list.getAssociation(0)->getFilter()->getCount(), 7);

    quiz->removeQuestionAssociation(list.getAssociation(0));
    EXPECT_EQ(list.getCount(), 2);
    quiz->clearAssociationList();
    EXPECT_EQ(list.getCount(), 0);
}

TEST(QuestionActivity, CopyingTheQuestionSetRenumbers)
{
    LmsExerciseActivity from(QStringLiteral("A"), QStringLiteral("00_a"), nullptr);
    from.getTemplateMap().insert(makeQuestion(QStringLiteral("T")));
    from.getQuestionList().append(makeQuestion(QStringLiteral("T"), 1));
    from.getQuestionList().append(makeQuestion(QStringLiteral("T"), 2));
    from.getQuestionList().remove(0);
    LmsExerciseActivity to(QStringLiteral("B"), QStringLiteral("01_b"), nullptr);
    to.getQuestionList().append(makeQuestion(QStringLiteral("Old")));
    to.assignQestionSet(&from);
    EXPECT_EQ(uids(to.getQuestionList().getQuestions()), QList<int>({0}));
    EXPECT_EQ(to.getQuestionList().getQuestion(0)->getDifficulty(), 2);
    EXPECT_NE(to.getTemplate(QStringLiteral("T")), from.getTemplate(QStringLiteral("T")));
    EXPECT_EQ(to.getTemplate(QStringLiteral("T"))->getActivity(), &to);
    to.clearQuestionSet();
    EXPECT_EQ(to.getQuestionList().getCount(), 0);
    EXPECT_EQ(to.getTemplateMap().getCount(), 0);
}
