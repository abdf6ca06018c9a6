import QtQuick

// "input.text": a one-line text box; "nick" is the compact variant of the
// nickname box. value is shown; edited(text) reports the user's typing.
Rectangle {
    id: field
    property string value
    property bool nick: false
    property int maximumLength: 32767
    property alias input: input
    signal edited(string text)

    implicitWidth: nick ? 140 : 200
    implicitHeight: nick ? 36 : 44
    radius: 10
    color: "#161c2b"
    border.width: 1
    border.color: input.activeFocus ? "#4be3a7" : "#232c41"
    Accessible.role: Accessible.EditableText
    Accessible.name: objectName
    // A box whose view or dialog is hidden gives up the keyboard, so that keys
    // never edit a value the user cannot see.
    onVisibleChanged: if (!visible) input.focus = false

    TextInput {
        id: input
        anchors.fill: parent
        anchors.leftMargin: field.nick ? 12 : 14
        anchors.rightMargin: field.nick ? 12 : 14
        verticalAlignment: TextInput.AlignVCenter
        clip: true
        text: field.value
        maximumLength: field.maximumLength
        color: "#ffffff"
        selectionColor: "#2a5f47"
        font.pixelSize: field.nick ? 14 : 17
        selectByMouse: true
        onTextEdited: field.edited(text)
    }
}
