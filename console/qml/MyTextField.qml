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
    // A text filled in by a call shows its beginning; one being typed keeps its cursor.
    onTextChanged: if (!activeFocus) cursorPosition = 0

    background: Rectangle {
        radius: 5
        border.width: field.activeFocus ? 2 : 1
        color: field.enabled ? "transparent" : "#353637"
        border.color: field.activeFocus ? "#0066ff" : (field.enabled ? "#bdbebf" : "transparent")
    }
}
