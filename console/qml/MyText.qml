import QtQuick 2.7

// A label of a page's grid: a quarter of the row.
Text {
    width: parent ? parent.width / 4 - 1 : 0
    height: 25
    font.pointSize: 10
    horizontalAlignment: Text.AlignHCenter
    verticalAlignment: Text.AlignVCenter
}
