import QtQuick 2.15
import "../../../../components"

LearningPage {
    title: qsTr("How to Answer")
    paragraphs: [
        qsTr("Every exercise plays a short question first. Watch the score while it plays: the note being played is marked."),
        qsTr("Then it is your turn. The count-in clicks tell you when to begin. Rhythm questions are answered on the keyboard: tap any key or the space bar once at the start of every note. Melody and harmony questions are sung (or played) into the microphone."),
        qsTr("When you have answered, every note of your answer is coloured: green is right, yellow a little early or late (or a little off pitch), red wrong. The mark under the score is the share of notes you got right."),
        qsTr("Press Retry to try the same question again, or Continue for the next one. After the last question the exercise is completed and the next activity opens.")
    ]
    exampleCaption: qsTr("A rhythm to tap: four beats, then a long note.")
    exampleGmn: "[ \\meter<\"4/4\"> x/4 x x x | x/1 ] (* percussive *)"
}
