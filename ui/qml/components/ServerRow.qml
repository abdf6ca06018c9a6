import QtQuick

// ".server": one row of the server list. A disabled row is dimmed and
// ignores hover; its gear still works.
Rectangle {
    id: row
    required property int index
    required property string name
    required property string sub
    required property string players
    required property string nick
    required property bool enabled
    property bool selected: false
    signal clicked()
    signal gearClicked()

    objectName: "server-" + index
    height: 48
    radius: 10
    opacity: enabled ? 1.0 : 0.45
    border.width: 1
    border.color: selected ? "#4be3a7" : (enabled && area.containsMouse ? "#2b3a5e" : "#1d2536")
    color: selected ? "#14271f" : (enabled && area.containsMouse ? "#80162031" : "#131a28")
    Accessible.role: Accessible.ListItem
    Accessible.name: name

    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: row.enabled ? Qt.PointingHandCursor : Qt.ArrowCursor
        onClicked: row.clicked()
    }
    Row {
        x: 12
        anchors.verticalCenter: parent.verticalCenter
        Text {
            objectName: "sname"
            anchors.verticalCenter: parent.verticalCenter
            text: row.name
            font.pixelSize: 16
            color: "#ffffff"
        }
        Text {
            objectName: "ssep"
            visible: row.sub !== ""
            anchors.verticalCenter: parent.verticalCenter
            leftPadding: 8
            rightPadding: 8
            text: "/"
            font.pixelSize: 13
            color: "#566078"
        }
        Text {
            objectName: "saddr"
            visible: row.sub !== ""
            anchors.verticalCenter: parent.verticalCenter
            text: row.sub
            font.pixelSize: 13
            color: "#6b7790"
        }
    }
    Row {
        anchors.right: parent.right
        anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        Text {
            objectName: "snick"
            visible: row.nick !== ""
            anchors.verticalCenter: parent.verticalCenter
            rightPadding: 10
            text: "(" + row.nick + ")"
            font.pixelSize: 13
            color: "#7f8aa3"
        }
        Rectangle {
            objectName: "players"
            visible: row.players !== ""
            anchors.verticalCenter: parent.verticalCenter
            width: badge.implicitWidth + 18
            height: badge.implicitHeight + 8
            radius: 8
            color: row.enabled ? "#14271f" : "#1a2030"
            Text {
                id: badge
                anchors.centerIn: parent
                text: row.players
                font.pixelSize: 13
                color: row.enabled ? "#4be3a7" : "#5e6b82"
            }
        }
        Item {
            width: 10
            height: 1
        }
        Rectangle {
            objectName: "gear-" + row.index
            width: 30
            height: 30
            radius: 8
            anchors.verticalCenter: parent.verticalCenter
            color: gearArea.containsMouse ? "#1f2a40" : "transparent"
            Accessible.role: Accessible.Button
            Accessible.name: "⚙"
            Text {
                anchors.centerIn: parent
                text: "⚙"
                font.pixelSize: 17
                color: gearArea.containsMouse ? "#e6ecf7" : "#8b97af"
            }
            MouseArea {
                id: gearArea
                anchors.fill: parent
                hoverEnabled: true
                cursorShape: Qt.PointingHandCursor
                // The click reaches the row too: the gear's handler first.
                onClicked: {
                    row.gearClicked()
                    row.clicked()
                }
            }
        }
    }
}
