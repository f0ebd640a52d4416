import QtQuick 2.15
import "../../../../components"

// Every exercise runs on the shared question page.
ExercisePage {
}
