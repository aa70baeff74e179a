import QtQuick 2.7
import QtQuick.Controls 2.0

// A tab with a busy indicator that turns while calls of its page are in flight.
TabButton {
    id: tab
    property bool running: false
    height: parent ? parent.height : implicitHeight

    BusyIndicator {
        running: tab.running
        height: tab.height
        width: height
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
    }
}
