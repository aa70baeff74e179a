import QtQuick 2.7
import QtQuick.Controls 2.0

// A field of a page's grid: a quarter of the row; greyed when disabled.
TextField {
    id: field
    width: parent ? parent.width / 4 - 1 : 0
    height: 25
    font.pointSize: 10
    selectByMouse: true
    topPadding: 0
    bottomPadding: 0
    verticalAlignment: TextInput.AlignVCenter

    // A value wider than the field (a 20-digit card number at this width) shows its end, after an
    // ellipsis, and the whole value in a tooltip; one being typed keeps its cursor.
    readonly property bool cut: contentWidth > width - leftPadding - rightPadding
    readonly property string toolTipText: cut ? text : ""
    onTextChanged: if (!activeFocus) showEnd()
    onActiveFocusChanged: if (!activeFocus) showEnd()
    onWidthChanged: if (!activeFocus) showEnd()
    function showEnd() {
        cursorPosition = text.length
    }

    ToolTip.text: toolTipText
    ToolTip.visible: cut && hover.containsMouse
    ToolTip.delay: 500

    MouseArea {
        id: hover
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.NoButton
        cursorShape: Qt.IBeamCursor
    }

    Text {
        text: "\u2026"
        visible: field.cut && !field.activeFocus
        anchors.left: parent.left
        anchors.verticalCenter: parent.verticalCenter
        width: field.leftPadding
        horizontalAlignment: Text.AlignHCenter
        font: field.font
        color: field.color
    }

    background: Rectangle {
        radius: 5
        border.width: field.activeFocus ? 2 : 1
        color: field.enabled ? "transparent" : "#353637"
        border.color: field.activeFocus ? "#0066ff" : (field.enabled ? "#bdbebf" : "transparent")
    }
}
