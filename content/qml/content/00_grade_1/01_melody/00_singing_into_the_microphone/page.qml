import QtQuick 2.15
import "../../../../components"

LearningPage {
    title: qsTr("Singing Into the Microphone")
    paragraphs: [
        qsTr("Before the first singing exercise, open Settings and calibrate the microphone: press Calibrate, then sing a long note as loud as you sing in the exercises until the bar is full (four seconds)."),
        qsTr("Sing every note on \"la\" with a clear start, so that each new note can be heard. Keep about an arm's length from the microphone and avoid background music."),
        qsTr("Each note is graded for pitch: green when you hit it, yellow when you are a little flat or sharp, orange when very flat or sharp, red for a wrong note, and missed when it was not heard at all. On your answer's score a note you hit is green; any other is written red, at the pitch you sang."),
        qsTr("In test mode of the Settings screen you can sing and see each note heard, to check that the microphone picks you up.")
    ]
    exampleCaption: qsTr("Your first notes: C, E and G.")
    exampleGmn: "[ \\meter<\"4/4\"> c1/2 e1/2 | g1/1 ]"
}
