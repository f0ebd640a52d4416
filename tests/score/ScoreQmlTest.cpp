#include "ScoreFixture.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QSignalSpy>

// The score as QML sees it: properties, invokables and change signals through a real engine.

namespace {

QVariant evaluate(QQmlEngine& engine, const QString& expression)
{
    QQmlExpression e(engine.rootContext(), nullptr, expression);
    const QVariant result = e.evaluate();
    EXPECT_FALSE(e.hasError()) << qPrintable(e.error().toString());
    return result;
}

} // namespace

TEST_F(ScoreTest, QmlReadsAndWritesTheScore)
{
    QQmlEngine engine;
    Score score;
    engine.rootContext()->setContextProperty("score", &score);
    QSignalSpy code(&score, &Score::gmnCodeChanged);
    evaluate(engine, "score.gmnCode = '[ \\\\meter<\"3/4\"> \\\\metronome<\"talking\"> c d e ]'");
    EXPECT_EQ(code.count(), 1);
    EXPECT_EQ(evaluate(engine, "score.noteCount").toInt(), 3);
    EXPECT_EQ(evaluate(engine, "score.beatsPerMeasure").toInt(), 3);
    EXPECT_NEAR(evaluate(engine, "score.duration").toDouble(), 1.8, 1e-6);
    EXPECT_EQ(evaluate(engine, "score.metronomeMode").toInt(), int(Metronome::ModeTalking));
    EXPECT_TRUE(evaluate(engine, "score.metronomeScore").toBool());
    EXPECT_EQ(evaluate(engine, "score.noteAtIndex(1)").toString(), QString("D1"));
    EXPECT_EQ(evaluate(engine, "score.countingSyllableAtIndex(2)").toString(), QString("3"));
    EXPECT_EQ(evaluate(engine, "score.solfegeSyllableAtIndex(9)").toString(), QString("?"));
    EXPECT_EQ(evaluate(engine, "score.noteBoundingRects.length").toInt(), 3);
    EXPECT_GT(evaluate(engine, "score.noteBoundingRectAtIdx(0).width").toDouble(), 0.0);
    EXPECT_FALSE(evaluate(engine, "score.playing").toBool());
    EXPECT_EQ(evaluate(engine, "score.currentNoteIndex").toInt(), -1);

    QSignalSpy autoRemove(&score, &Score::autoRemoveMidiChanged);
    evaluate(engine, "score.autoRemoveMidi = true");
    EXPECT_EQ(autoRemove.count(), 1);  // emitted even for the current value
    evaluate(engine, "score.tempo = 60; score.metronomeMode = 2; score.scalingFactor = 1.5");
    EXPECT_EQ(score.tempo(), 60);
    EXPECT_NEAR(score.duration(), 3.0, 1e-9);
    EXPECT_EQ(score.metronomeMode(), Metronome::ModeAccented);
    EXPECT_DOUBLE_EQ(score.scalingFactor(), 1.5);
}
