import QtQuick 2.7
import QtQuick.Controls 2.0

// A button of a page's grid: a quarter of the row, with a thin rounded frame.
Button {
    spacing: 0
    width: parent ? parent.width / 4 - 1 : 0

    Rectangle {
        z: -1
        anchors.fill: parent
        color: "#00000000"
        radius: 5
        border.width: 1
        border.color: "#6b6b6b"
    }
}
