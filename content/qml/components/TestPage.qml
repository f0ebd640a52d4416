import QtQuick 2.15

// Quizzes and exams: the exercise page with one try per question and one mark at the end.
ExercisePage {
    testMode: true
}
