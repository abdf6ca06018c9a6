import QtQuick

// "label.check": a drawn 24 x 24 box, its tick shown while checked, and a label.
Item {
    id: check
    property string text
    property bool checked: false
    signal toggled()

    implicitWidth: row.implicitWidth
    implicitHeight: row.implicitHeight + 16
    Accessible.role: Accessible.CheckBox
    Accessible.name: text
    Accessible.checked: checked

    Row {
        id: row
        spacing: 12
        Rectangle {
            objectName: "cbox"
            width: 24
            height: 24
            radius: 6
            border.width: 2
            border.color: check.checked ? "#4be3a7" : (area.containsMouse ? "#3a4d76" : "#2b3a5e")
            color: check.checked ? "#4be3a7" : "#161c2b"
            anchors.verticalCenter: parent.verticalCenter
            Text {
                objectName: "tick"
                visible: check.checked
                anchors.fill: parent
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                text: "✔"
                font.pixelSize: 19
                font.bold: true
                color: "#0c0f17"
            }
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: check.text
            font.pixelSize: 15
            color: "#c7d0e0"
        }
    }
    MouseArea {
        id: area
        anchors.fill: row
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: check.toggled()
    }
}
