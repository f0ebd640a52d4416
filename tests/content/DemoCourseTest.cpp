#include "audio/AudioMarkerRegion.h"
#include "audio/AudioOutputRegion.h"
#include "audio/AudioSequencer.h"
#include "audio/midi/MidiSynth.h"
#include "debug/Debugging.h"
#include "lms/Lms.h"
#include "lms/LmsCourse.h"
#include "lms/LmsExerciseActivity.h"
#include "lms/LmsLearningActivity.h"
#include "lms/LmsQuestion.h"
#include "lms/LmsQuestionAssociation.h"
#include "lms/LmsQuestionFilter.h"
#include "lms/LmsTestActivity.h"
#include "score/Score.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <memory>

// The demo course that ships with the program: the loader takes it, every page exists, the
// names are the ones practice and statistics group by, and every question plays.

// Readable QString values in failures.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

const QString kCourseRoot = QStringLiteral(BRISOLA_SOURCE_DIR "/content/qml/content");

// Practice groups list these kinds per subject; other kinds would vanish from practice.
const QMap<QString, QStringList> kKindsBySubject = {
    {"Rhythm", {"Beat Tapping", "Note Tapping", "Rhythm Tapping", "Rhythm Imitation"}},
    {"Melody", {"Pitch Singing", "Scale Singing", "Interval Singing", "Sight Singing", "Melody Imitation"}},
    {"Harmony", {"Arpeggio Singing"}},
};

const QStringList kAttributes = {"_type", "gmn", "introText", "captureType", "tempo", "playbackMetronomeCountIn",
                                 "playbackMetronome", "captureMetronomeCountIn", "captureMetronome",
                                 "capturePlayback"};

QString subjectOf(const LmsElement* activity)
{
    const LmsModuleElement* parent = activity->getParentModule();
    return parent ? parent->getName() : QString();
}

int midiNumber(const Score::NoteInfo& n)
{
    return (n.octave + 4) * 12 + n.note;
}

}  // namespace

class DemoCourse : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Debugging::initialize();
        Score::initialize(QString(), false);
        QString soundFont = QStringLiteral(BRISOLA_BINARY_DIR) + "/Resources/VessaGM6mb.sf2";
        if (!QFile::exists(soundFont))
            soundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
        if (!MidiSynth::instance()->isInitialized())
            MidiSynth::instance()->initialize(soundFont);
        Lms::loadPlugins(kCourseRoot + "/lms");
        course = new LmsCourse(QStringLiteral("Demo"));
        loaded = course->load(kCourseRoot, false);
    }

    void SetUp() override { ASSERT_EQ(loaded, 0) << "the loader refused the demo course"; }

    static QList<LmsModuleElement*> grades()
    {
        QList<LmsModuleElement*> out;
        for (LmsElement* e : course->getElementList())
            if (auto* m = dynamic_cast<LmsModuleElement*>(e))
                out << m;
        return out;
    }
    template <class T>
    static QList<T*> all()
    {
        QList<T*> out;
        course->findElementsByType<T>(out);
        return out;
    }

    static LmsCourse* course;
    static int loaded;
};

LmsCourse* DemoCourse::course = nullptr;
int DemoCourse::loaded = -1;

TEST_F(DemoCourse, GradesHoldTheThreeSubjectsEachEndingInAQuizThenAnExam)
{
    ASSERT_EQ(grades().size(), course->getElementList().size()) << "every top-level element is a grade";
    ASSERT_GE(grades().size(), 2);
    for (LmsModuleElement* grade : grades()) {
        SCOPED_TRACE(grade->getName().toStdString());
        QStringList subjects;
        LmsElement* exam = nullptr;
        for (LmsElement* child : grade->getElementList()) {
            if (auto* subject = dynamic_cast<LmsModuleElement*>(child)) {
                subjects << subject->getName();
                ASSERT_FALSE(subject->getElementList().isEmpty());
                auto* quiz = dynamic_cast<LmsTestActivity*>(subject->getElementList().last());
                ASSERT_NE(quiz, nullptr) << subject->getName().toStdString() << " ends without a test";
                EXPECT_EQ(quiz->getName(), QStringLiteral("quiz"));
            } else if (child->getName() == QStringLiteral("exam")) {
                exam = child;
            }
        }
        EXPECT_EQ(subjects, QStringList({"Rhythm", "Melody", "Harmony"}));
        ASSERT_NE(dynamic_cast<LmsTestActivity*>(exam), nullptr) << "no exam test in the grade";
        EXPECT_GT(grade->getElementList().indexOf(exam), 2) << "the exam comes after the subjects";
    }
    // The course ends on the end-of-course page, after the last exam.
    LmsElement* last = grades().last()->getElementList().last();
    EXPECT_EQ(last->getName(), QStringLiteral("#endofcourse#"));
    EXPECT_NE(dynamic_cast<LmsLearningActivity*>(last), nullptr);
}

TEST_F(DemoCourse, EveryActivityHasItsPageAndExercisesAreNamedByPracticeKind)
{
    QList<LmsActivityElement*> activities = all<LmsActivityElement>();
    ASSERT_GT(activities.size(), 20);
    const QRegularExpression exerciseName(QStringLiteral("^Exercise: (.+) (\\d)$"));
    QSet<QString> kindsSeen;
    for (LmsActivityElement* a : activities) {
        SCOPED_TRACE(a->getNormalizedElementPath().toStdString());
        EXPECT_TRUE(QFile::exists(a->getFsAbsolutePath() + "/page.qml"));
        if (auto* learning = dynamic_cast<LmsLearningActivity*>(a)) {
            EXPECT_TRUE(learning->hasData());
        }
        if (!dynamic_cast<LmsExerciseActivity*>(a))
            continue;
        const QRegularExpressionMatch m = exerciseName.match(a->getName());
        ASSERT_TRUE(m.hasMatch()) << a->getName().toStdString();
        EXPECT_TRUE(kKindsBySubject.value(subjectOf(a)).contains(m.captured(1)))
            << m.captured(1).toStdString() << " is not a practice kind of " << subjectOf(a).toStdString();
        kindsSeen << m.captured(1);
        // the digit is the grade the exercise belongs to
        EXPECT_EQ(m.captured(2).toInt(), grades().indexOf(a->getParentModule()->getParentModule()) + 1);
    }
    for (const char* kind : {"Beat Tapping", "Rhythm Tapping", "Rhythm Imitation", "Pitch Singing",
                                "Interval Singing", "Scale Singing", "Sight Singing", "Melody Imitation",
                                "Arpeggio Singing"})
        EXPECT_TRUE(kindsSeen.contains(QString::fromLatin1(kind))) << kind;
    EXPECT_TRUE(QFile::exists(kCourseRoot + "/#practice#/page.qml"));
}

TEST_F(DemoCourse, QuestionsCarryOwnTagsDifficultyAndEveryAttributeThePagesRead)
{
    for (LmsExerciseActivity* a : all<LmsExerciseActivity>()) {
        SCOPED_TRACE(a->getName().toStdString());
        const bool rhythm = subjectOf(a) == QStringLiteral("Rhythm");
        QSet<QString> tags;
        ASSERT_GE(a->getQuestionList().getCount(), 3);
        for (LmsQuestion* q : a->getQuestionList().getQuestions()) {
            EXPECT_EQ(q->getDifficulty(), 5);
            const QStringList own = q->getTagList(false);
            ASSERT_EQ(own.size(), 1);
            EXPECT_FALSE(own.first().isEmpty());
            EXPECT_FALSE(tags.contains(own.first())) << "two questions share the tag " << own.first().toStdString();
            tags << own.first();

            const QVariantMap attrs = q->getResolvedAttributeMap();
            QStringList keys = attrs.keys();
            QStringList expected = kAttributes;
            std::sort(keys.begin(), keys.end());
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(keys, expected);
            const int captureType = attrs.value("captureType").toInt();
            EXPECT_EQ(attrs.value("captureType").userType(), QMetaType::Int);
            if (rhythm) {
                EXPECT_EQ(captureType, 1);
            } else {
                EXPECT_TRUE(captureType == 2 || captureType == 3) << captureType;
            }
            EXPECT_GE(attrs.value("tempo").toInt(), 50);
            EXPECT_LE(attrs.value("tempo").toInt(), 120);
            for (const char* flag : {"playbackMetronomeCountIn", "playbackMetronome", "captureMetronomeCountIn",
                                     "captureMetronome", "capturePlayback"})
                EXPECT_EQ(attrs.value(flag).userType(), QMetaType::Bool) << flag;
            EXPECT_FALSE(attrs.value("introText").toString().isEmpty());
            // flats are written "&"; the "-es" names are refused by the notation engine
            EXPECT_FALSE(attrs.value("gmn").toString().contains(
                QRegularExpression(QStringLiteral("\\b(ces|des|es|fes|ges|as|bes)\\d?\\b"))));
        }
    }
}

TEST_F(DemoCourse, TestsDrawEnoughDistinctQuestionsFromTheirExercises)
{
    QList<LmsQuestionActivity*> activities;
    for (LmsExerciseActivity* a : all<LmsExerciseActivity>())
        activities << a;
    QList<LmsTestActivity*> tests = all<LmsTestActivity>();
    ASSERT_EQ(tests.size(), 2 * 4) << "a quiz per subject and an exam per grade";
    for (LmsTestActivity* t : tests)
        activities << t;
    for (LmsQuestionActivity* a : activities) {
        SCOPED_TRACE(a->getNormalizedElementPath().toStdString());
        const QList<LmsQuestionAssociation*>& list = a->getAssociationList().getAssociations();
        ASSERT_FALSE(list.isEmpty());
        for (LmsQuestionAssociation* as : list) {
            ASSERT_NE(as->getSource(), nullptr) << "unresolved association path";
            ASSERT_NE(as->getFilter(), nullptr);
            EXPECT_GE(as->getFilter()->getCount(), 1);
            EXPECT_GE(as->getSource()->getMatchesCount(as->getFilter()), as->getFilter()->getCount());
            if (dynamic_cast<LmsTestActivity*>(a)) {
                EXPECT_NE(as->getSource(), a);
                EXPECT_NE(dynamic_cast<LmsExerciseActivity*>(as->getSource()), nullptr);
                // a quiz draws from its own subject, an exam from its own grade
                const LmsModuleElement* scope = a->getParentModule();
                const LmsElement* up = as->getSource();
                while (up && up != scope)
                    up = up->getParentModule();
                EXPECT_EQ(up, scope);
            } else {
                EXPECT_EQ(as->getSource(), a);
            }
        }
    }
}

TEST_F(DemoCourse, EveryQuestionParsesSequencesAndSitsInAComfortableRange)
{
    int questions = 0;
    for (LmsExerciseActivity* a : all<LmsExerciseActivity>()) {
        const bool rhythm = subjectOf(a) == QStringLiteral("Rhythm");
        for (LmsQuestion* q : a->getQuestionList().getQuestions()) {
            const QVariantMap attrs = q->getResolvedAttributeMap();
            const QString gmn = attrs.value("gmn").toString();
            SCOPED_TRACE((a->getName() + " " + gmn).toStdString());
            Score score;
            score.setTempo(attrs.value("tempo").toInt());
            ASSERT_TRUE(score.setGMNCode(gmn));
            ASSERT_GT(score.noteCount(), 0);
            ASSERT_FALSE(score.measuresList().isEmpty()) << "the exercise engine needs a measure";
            EXPECT_GT(score.duration(), 0.5);
            EXPECT_LT(score.duration(), 12.0) << "too long to hold in the ear";
            EXPECT_EQ(score.playbackPercussive(), rhythm);
            if (!rhythm) {
                for (const Score::NoteInfo& n : score.noteList()) {
                    if (n.note == 12)
                        continue;
                    EXPECT_GE(midiNumber(n), 57) << "below A3";
                    EXPECT_LE(midiNumber(n), 74) << "above D5";
                }
            }

            AudioSequencer sequencer(44100, 2);
            score.sequence(sequencer, 2.0);
            int rendered = 0;
            for (const AudioOutputRegion* region : sequencer.outputRegions())
                if (region->ownsBuffer())
                    ++rendered;
            EXPECT_EQ(rendered, 1) << "the score did not render";
            int endMarkers = 0;
            for (const AudioMarkerRegion* m : sequencer.markerRegions())
                endMarkers += m->id() == -1;
            EXPECT_EQ(endMarkers, 1);
            EXPECT_GE(sequencer.markerRegions().size(), score.noteCount());
            ++questions;
        }
    }
    EXPECT_GE(questions, 40);
}

// Within a subject the exercises get harder: the shortest note (at the exercise's tempo) never
// grows from one exercise to the next.
TEST_F(DemoCourse, ExercisesOfASubjectNeverSlowDown)
{
    for (LmsModuleElement* grade : grades()) {
        for (LmsElement* child : grade->getElementList()) {
            auto* subject = dynamic_cast<LmsModuleElement*>(child);
            if (!subject)
                continue;
            double previous = 1e9;
            QString previousName;
            for (LmsElement* e : subject->getElementList()) {
                auto* a = dynamic_cast<LmsExerciseActivity*>(e);
                if (!a)
                    continue;
                double shortest = 1e9;
                for (LmsQuestion* q : a->getQuestionList().getQuestions()) {
                    const QVariantMap attrs = q->getResolvedAttributeMap();
                    Score score;
                    score.setTempo(attrs.value("tempo").toInt());
                    ASSERT_TRUE(score.setGMNCode(attrs.value("gmn").toString()));
                    for (const Score::NoteInfo& n : score.noteList())
                        if (n.note != 12)
                            shortest = std::min(shortest, n.end() - n.start());
                }
                EXPECT_LE(shortest, previous + 1e-9)
                    << a->getName().toStdString() << " has longer notes than " << previousName.toStdString();
                previous = shortest;
                previousName = a->getName();
            }
        }
    }
}
