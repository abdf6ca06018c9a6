import QtQuick

// ".region-btn" / ".wm-btn" (large) and ".font-btn" (compact): one choice of
// a row of exclusive options, highlighted while active.
Rectangle {
    id: choice
    property string text
    property bool active: false
    property bool compact: false
    signal clicked()

    implicitWidth: label.implicitWidth + 2 * (compact ? 18 : 26)
    implicitHeight: compact ? 36 : 40
    radius: compact ? 8 : 10
    border.width: 1
    border.color: active ? "#2a5f47" : (compact ? "#2a3348" : "#232c41")
    color: active ? "#18352b" : (area.containsMouse ? "#28324a" : (compact ? "#1a2233" : "#1d2536"))
    Accessible.role: Accessible.RadioButton
    Accessible.name: text
    Accessible.checked: active

    Text {
        id: label
        anchors.centerIn: parent
        text: choice.text
        font.pixelSize: choice.compact ? 14 : 15
        color: choice.active ? "#4be3a7" : (choice.compact ? "#9aa6bd" : "#c7d0e0")
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: choice.clicked()
    }
}
