import QtQuick 2.15
import "../../../../components"
import "../../../../js/ExerciseLogic.js" as Logic

LearningPage {
    title: qsTr("How to Answer")
    paragraphs: [
        qsTr("Every exercise plays a short question first. Watch the score while it plays: the note being played is marked."),
        qsTr("Then it is your turn. The count-in clicks tell you when to begin; an answer before the last click is too early and does not count."),
        // the input chosen in Settings
        Logic.rhythmAnswerText(runtime.settings) + " " + qsTr("Melody and harmony questions are sung (or played) into the microphone."),
        qsTr("When you have answered, every note gets a word and a colour: green right; yellow a little early, late, flat or sharp; orange very early, late, flat or sharp; red far off, a wrong note, or missed when you did not answer it at all."),
        qsTr("A right note earns a whole point, a yellow one three quarters, an orange one half and a red one nothing. The mark is the average over the notes, so seven right notes and one very late note make 94 %. When a question is both timed and pitched, timing and pitch count half each."),
        qsTr("Before you start and after you answer, Listen (or the L key) plays the question alone, without the count-in. While a question runs, Stop (or Escape) ends it without recording anything, and Start runs it again."),
        qsTr("Press Retry to try the same question again, or Continue for the next one. After the last question the exercise is completed and the next activity opens.")
    ]
    exampleCaption: qsTr("A rhythm: four beats, then a long note.")
    exampleGmn: "[ \\meter<\"4/4\"> x/4 x x x | x/1 ] (* percussive *)"
}
