import QtQuick 2.15
import "../js/FocusLogic.js" as FocusLogic

// The keyboard focus ring every control shows: just outside its parent while the parent has the
// focus from the keyboard. Two rings, dark outside and light inside, so that it shows on the
// light screens and on the dark header alike. A control that gets the focus inside a scrolled
// screen is scrolled into view.
Rectangle {
    property bool shown: parent && (parent.visualFocus !== undefined ? parent.visualFocus : parent.activeFocus)

    anchors.fill: parent
    anchors.margins: -2 * Theme.focusWidth
    visible: shown
    color: "transparent"
    radius: Theme.radius + 2
    border.color: Theme.focus
    border.width: Theme.focusWidth

    onShownChanged: {
        if (shown)
            FocusLogic.scrollIntoView(parent, Theme.margin);
    }

    Rectangle {
        anchors.fill: parent
        anchors.margins: Theme.focusWidth
        color: "transparent"
        radius: Theme.radius
        border.color: Theme.textOnDark
        border.width: Theme.focusWidth
    }
}
