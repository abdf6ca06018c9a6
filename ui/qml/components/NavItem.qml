import QtQuick

// ".nav": one entry of the sidebar navigation (8 below it).
Item {
    id: nav
    property string text
    property bool active: false
    signal clicked()

    implicitHeight: box.height + 8
    Accessible.role: Accessible.PageTab
    Accessible.name: text

    Rectangle {
        id: box
        width: parent.width
        height: label.implicitHeight + 24
        radius: 10
        color: nav.active ? "#18352b" : (area.containsMouse ? "#1a2233" : "transparent")
        Text {
            id: label
            x: 14
            anchors.verticalCenter: parent.verticalCenter
            text: nav.text
            font.pixelSize: 16
            color: nav.active ? "#4be3a7" : (area.containsMouse ? "#e6ecf7" : "#9aa6bd")
        }
        MouseArea {
            id: area
            anchors.fill: parent
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: nav.clicked()
        }
    }
}
