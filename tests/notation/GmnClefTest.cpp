#include "NotationFixtures.h"

#include "notation/GmnClef.h"
#include "notation/NotationEngine.h"
#include "notation/NotationPainter.h"

#include <QRegularExpression>

// The clef a code without one is drawn in, checked against the engine's own drawing, and the clef
// tag written into a code.

namespace {

// The engine's first glyph of a page is the clef: "?" is the bass clef, "&" the treble clef.
QString drawnClef(const QString& code)
{
    NotationPainter painter;
    if (!painter.setGMNCode(code))
        return "unreadable";
    const QRegularExpressionMatch m =
        QRegularExpression("<text[^>]*>&#(\\d+);</text>").match(QString::fromUtf8(painter.pageSvg(1)));
    if (!m.hasMatch())
        return "none";
    const int glyph = m.captured(1).toInt();
    return glyph == '?' ? "f" : glyph == '&' ? "g" : "glyph " + QString::number(glyph);
}

}  // namespace

TEST(GmnClefTest, AutomaticClefIsTheOneTheEngineDraws)
{
    ASSERT_TRUE(NotationEngine::instance().start());
    const QList<QPair<QString, QString>> rows = {
        {"a0/1", "f"},                          // A3: bass
        {"b0/1", "g"},                          // B3: the lowest single note on the treble clef
        {"a#0/1", "f"}, {"b&0/1", "g"},         // the staff step counts, not the sound
        {"c1/4 c1 a0 a0", "g"},                 // mean B3
        {"b0/4 b0 b0 a0", "f"},                 // mean below B3
        {"c1/2. g0/4", "f"},                    // every note once, whatever its length
        {"\\tie(a0/4 a0/4) c1/4 b0/4", "f"},    // a tied note's continuation counts
        {"{a0/2, c1/2} a0/2", "f"},             // each note of a chord counts
        {"a0/1 | c2/1 | c2/1", "g"},            // the whole voice, not its first bar
        {"c2/4 g0 g0 g0", "g"},
        {"_/4 _ _ b0", "g"},                    // rests do not count
        {"e1/4 c0 c0 c0", "f"},
    };
    for (const auto& [notes, clef] : rows) {
        const QString code = "[ \\meter<\"4/4\"> " + notes + " ]";
        SCOPED_TRACE(code.toStdString());
        EXPECT_EQ(GmnClef::automatic(readOk(code).events), clef);
        EXPECT_EQ(drawnClef(code), clef);
    }
    EXPECT_EQ(GmnClef::automatic({}), "g");
}

// An answer sung a fourth above a bass-clef question keeps the question's clef once it names it.
TEST(GmnClefTest, NamedClefHoldsForOtherNotes)
{
    ASSERT_TRUE(NotationEngine::instance().start());
    EXPECT_FALSE(GmnClef::isNamed("[ \\meter<\"4/4\"> a0/1 ]"));
    EXPECT_TRUE(GmnClef::isNamed("[ \\clef<\"f\"> a0/1 ]"));
    const QList<QPair<QString, QString>> rows = {
        {"[ \\meter<\"4/4\"> d1/1 ]", "[ \\clef<\"f\"> \\meter<\"4/4\"> d1/1 ]"},
        {"[d1/1]", "[ \\clef<\"f\"> d1/1]"},
        {"(* comment [ *) { [ d1/1 ] }", "(* comment [ *) { [ \\clef<\"f\"> d1/1 ] }"},
        {"no voice", "no voice"},
    };
    for (const auto& [code, named] : rows) {
        EXPECT_EQ(GmnClef::withClef(code, "f"), named);
        if (named != code) {
            EXPECT_EQ(drawnClef(named), "f") << named.toStdString();
        }
    }
    EXPECT_EQ(drawnClef("[ \\meter<\"4/4\"> d1/1 ]"), "g");
}
