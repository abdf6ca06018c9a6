import QtQuick

// ".btn": a rounded text button; "primary" is the green call to action.
Rectangle {
    id: button
    property string text
    property bool primary: false
    property int textSize: 15
    property int sidePadding: 22
    signal clicked()

    implicitWidth: label.implicitWidth + 2 * sidePadding
    implicitHeight: 42
    radius: 10
    color: primary ? "#4be3a7" : (area.containsMouse ? "#28324a" : "#1d2536")
    Accessible.role: Accessible.Button
    Accessible.name: text

    Text {
        id: label
        anchors.centerIn: parent
        text: button.text
        color: button.primary ? "#06140d" : "#e6ecf7"
        font.pixelSize: button.textSize
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: button.clicked()
    }
}
