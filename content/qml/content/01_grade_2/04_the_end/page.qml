import QtQuick 2.15
import "../../../components"

EndOfCoursePage {
}
