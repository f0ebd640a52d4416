import QtQuick 2.15
import "../../../../components"

// Quizzes and exams: the questions drawn by the associations, one mark at the end.
TestPage {
}
