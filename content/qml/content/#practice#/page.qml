import QtQuick 2.15
import "../../components"

// Practice: choose the kinds to drill, then run the drawn questions like an exercise.
PracticeScreen {
}
