import QtQuick 2.15
import QtQuick.Controls 2.15

// A view whose content scrolls up and down at the view's own width. It has no sideways bar: the
// style keeps one at the foot even when it is not needed, unseen, and it took the clicks meant for
// what showed under it (the lower half of a button at the window's foot).
ScrollView {
    contentWidth: availableWidth
    clip: true
    ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
}
