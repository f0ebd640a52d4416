#include "audio/AudioOutputRegion.h"
#include "audio/AudioSequencer.h"
#include "audio/midi/MidiSynth.h"
#include "debug/Debugging.h"
#include "lms/Lms.h"
#include "lms/LmsCourse.h"
#include "lms/LmsExerciseActivity.h"
#include "lms/LmsQuestion.h"
#include "lms/LmsQuestionAssociation.h"
#include "lms/LmsQuestionFilter.h"
#include "lms/LmsTestActivity.h"
#include "score/Score.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

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
        if (!MidiSynth::instance()->isInitialized())
            MidiSynth::instance()->initialize(QStringLiteral(BRISOLA_BINARY_DIR "/Resources/VessaGM6mb.sf2"));
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

// The shape the code relies on: every top-level element a grade of Rhythm, Melody and Harmony, each
// subject ending in its quiz, an exam after the subjects, "#endofcourse#" last (nothing may follow
// it); every activity has its page and exercises carry the practice kind and their grade's digit.
TEST_F(DemoCourse, GradesSubjectsTestsPagesAndExerciseNames)
{
    ASSERT_EQ(grades().size(), course->getElementList().size());
    for (LmsModuleElement* grade : grades()) {
        QStringList subjects;
        int examAt = -1;
        for (int i = 0; i < grade->getElementList().size(); ++i) {
            LmsElement* child = grade->getElementList().at(i);
            if (auto* subject = dynamic_cast<LmsModuleElement*>(child)) {
                subjects << subject->getName();
                LmsElement* quiz = subject->getElementList().isEmpty() ? nullptr : subject->getElementList().last();
                EXPECT_TRUE(dynamic_cast<LmsTestActivity*>(quiz) && quiz->getName() == QStringLiteral("quiz"))
                    << subject->getName().toStdString() << " does not end in its quiz";
            } else if (dynamic_cast<LmsTestActivity*>(child) && child->getName() == QStringLiteral("exam")) {
                examAt = i;
            }
        }
        EXPECT_EQ(subjects, QStringList({"Rhythm", "Melody", "Harmony"})) << grade->getName().toStdString();
        EXPECT_GT(examAt, 2) << "no exam after the subjects of " << grade->getName().toStdString();
    }
    LmsElement* last = grades().last()->getElementList().last();
    EXPECT_EQ(last->getName(), QStringLiteral("#endofcourse#"));
    EXPECT_TRUE(QFile::exists(kCourseRoot + "/#practice#/page.qml"));

    const QRegularExpression exerciseName(QStringLiteral("^Exercise: (.+) (\\d)$"));
    for (LmsActivityElement* a : all<LmsActivityElement>()) {
        SCOPED_TRACE(a->getNormalizedElementPath().toStdString());
        EXPECT_TRUE(QFile::exists(a->getFsAbsolutePath() + "/page.qml"));
        if (!dynamic_cast<LmsExerciseActivity*>(a))
            continue;
        const QRegularExpressionMatch m = exerciseName.match(a->getName());
        EXPECT_TRUE(kKindsBySubject.value(subjectOf(a)).contains(m.captured(1))) << a->getName().toStdString();
        EXPECT_EQ(m.captured(2).toInt(), grades().indexOf(a->getParentModule()->getParentModule()) + 1);
    }
}

// Each question is drawn by its own tag at difficulty 5, and the pages read its attributes as typed.
TEST_F(DemoCourse, QuestionsCarryOwnTagsDifficultyAndTypedAttributes)
{
    for (LmsExerciseActivity* a : all<LmsExerciseActivity>()) {
        SCOPED_TRACE(a->getName().toStdString());
        QSet<QString> tags;
        for (LmsQuestion* q : a->getQuestionList().getQuestions()) {
            EXPECT_EQ(q->getDifficulty(), 5);
            const QStringList own = q->getTagList(false);
            ASSERT_EQ(own.size(), 1);
            EXPECT_FALSE(tags.contains(own.first())) << "two questions share the tag " << own.first().toStdString();
            tags << own.first();

            const QVariantMap attrs = q->getResolvedAttributeMap();
            EXPECT_EQ(attrs.value("captureType").userType(), QMetaType::Int);
            const int captureType = attrs.value("captureType").toInt();
            EXPECT_TRUE(subjectOf(a) == "Rhythm" ? captureType == 1 : captureType == 2 || captureType == 3);
            EXPECT_TRUE(attrs.value("tempo").toInt() >= 50 && attrs.value("tempo").toInt() <= 120);
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

// Rhythm questions are tapped on the keyboard or clapped into the microphone, as the settings choose,
// and the line under the intro says which: the intro texts of rhythm activities and questions name
// no input of their own, so that they never say one and the line the other.
TEST_F(DemoCourse, RhythmIntroTextsNameNoInput)
{
    const QRegularExpression input(QStringLiteral("\\b(keyboard|keys?|space bar|microphone|taps?|tapp\\w*|claps?|clapp\\w*)\\b"),
                                   QRegularExpression::CaseInsensitiveOption);
    int checked = 0;
    for (LmsQuestionActivity* a : all<LmsQuestionActivity>()) {
        SCOPED_TRACE(a->getName().toStdString());
        QStringList texts;
        bool rhythm = false;
        for (LmsQuestion* q : a->getQuestionList().getQuestions()) {
            const QVariantMap attrs = q->getResolvedAttributeMap();
            if (attrs.value("captureType").toInt() == 1) {
                rhythm = true;
                texts << attrs.value("introText").toString();
            }
        }
        if (!rhythm && subjectOf(a) != "Rhythm")
            continue;
        texts << a->getIntroText();
        for (const QString& text : texts) {
            EXPECT_FALSE(input.match(text).hasMatch()) << text.toStdString();
            ++checked;
        }
    }
    EXPECT_GT(checked, 10);
}

// Quizzes and exams draw enough questions from exercises of their own subject or grade; an
// exercise draws its own.
TEST_F(DemoCourse, AssociationsDrawEnoughQuestionsFromTheirScope)
{
    QList<LmsQuestionActivity*> activities;
    for (LmsExerciseActivity* a : all<LmsExerciseActivity>())
        activities << a;
    for (LmsTestActivity* t : all<LmsTestActivity>())
        activities << t;
    for (LmsQuestionActivity* a : activities) {
        SCOPED_TRACE(a->getNormalizedElementPath().toStdString());
        const bool test = dynamic_cast<LmsTestActivity*>(a) != nullptr;
        const QList<LmsQuestionAssociation*>& list = a->getAssociationList().getAssociations();
        ASSERT_FALSE(list.isEmpty());
        for (LmsQuestionAssociation* as : list) {
            ASSERT_NE(as->getSource(), nullptr) << "unresolved association path";
            EXPECT_GE(as->getSource()->getMatchesCount(as->getFilter()), std::max(1, as->getFilter()->getCount()));
            const LmsElement* up = as->getSource();
            while (up && up != a->getParentModule())
                up = up->getParentModule();
            EXPECT_TRUE(test ? up != nullptr && dynamic_cast<LmsExerciseActivity*>(as->getSource())
                             : as->getSource() == a);
        }
    }
}

// Every question plays: sung notes within A3-D5, a rhythm played on one line, and within a subject
// the shortest note (at the exercise's tempo) never grows from one exercise to the next.
TEST_F(DemoCourse, QuestionsPlayInRangeAndExercisesNeverSlowDown)
{
    for (LmsModuleElement* grade : grades()) {
        for (LmsElement* child : grade->getElementList()) {
            auto* subject = dynamic_cast<LmsModuleElement*>(child);
            if (!subject)
                continue;
            double previous = 1e9;
            for (LmsElement* e : subject->getElementList()) {
                auto* a = dynamic_cast<LmsExerciseActivity*>(e);
                if (!a)
                    continue;
                double shortest = 1e9;
                for (LmsQuestion* q : a->getQuestionList().getQuestions()) {
                    const QVariantMap attrs = q->getResolvedAttributeMap();
                    SCOPED_TRACE((a->getName() + " " + attrs.value("gmn").toString()).toStdString());
                    Score score;
                    score.setTempo(attrs.value("tempo").toInt());
                    ASSERT_TRUE(score.setGMNCode(attrs.value("gmn").toString()));
                    ASSERT_FALSE(score.measureInfoList().isEmpty()) << "the exercise engine needs a measure";
                    EXPECT_TRUE(score.duration() > 0.5 && score.duration() < 12.0) << "too long to hold in the ear";
                    EXPECT_EQ(score.playbackPercussive(), subject->getName() == "Rhythm");
                    for (const Score::NoteInfo& n : score.noteList()) {
                        if (n.note == 12)
                            continue;
                        shortest = std::min(shortest, n.end() - n.start());
                        if (!score.playbackPercussive()) {
                            EXPECT_TRUE(midiNumber(n) >= 57 && midiNumber(n) <= 74) << midiNumber(n) << " not in A3-D5";
                        }
                    }
                    AudioSequencer sequencer(44100, 2);
                    score.sequence(sequencer, 2.0);
                    EXPECT_TRUE(std::any_of(sequencer.outputRegions().begin(), sequencer.outputRegions().end(),
                                            [](const AudioOutputRegion* r) { return r->ownsBuffer(); }))
                        << "the score did not render";
                }
                EXPECT_LE(shortest, previous + 1e-9) << a->getName().toStdString() << " is slower than the one before";
                previous = shortest;
            }
        }
    }
}
