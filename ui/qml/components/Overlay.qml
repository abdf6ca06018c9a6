import QtQuick

// "#overlay": progress or error over the whole window, blocking input.
Rectangle {
    id: overlay
    property string title
    property string detail
    property bool isError: false
    property string progressWidth: "0%"
    property string splash
    property bool canCancel: false
    signal cancelClicked()
    signal closeClicked()

    objectName: "overlay"
    anchors.fill: parent
    gradient: Gradient {
        GradientStop { position: 0.0; color: "#0f1626" }
        GradientStop { position: 1.0; color: "#070a12" }
    }

    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.AllButtons
        onWheel: (wheel) => wheel.accepted = true
    }
    Column {
        anchors.centerIn: parent
        width: Math.min(parent.width, 900)
        Text {
            objectName: "ov-title"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: overlay.title
            font.pixelSize: 22
            font.bold: true
            color: overlay.isError ? "#e25563" : "#ffffff"
            bottomPadding: 8
        }
        Text {
            objectName: "ov-detail"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: overlay.detail
            font.pixelSize: 13
            color: "#7a86a0"
            bottomPadding: 22
        }
        Rectangle {
            objectName: "bar-track"
            visible: !overlay.isError
            anchors.horizontalCenter: parent.horizontalCenter
            width: 460
            height: 10
            radius: 5
            color: "#1a2233"
            Rectangle {
                objectName: "bar-fill"
                height: 10
                radius: 5
                color: "#4be3a7"
                width: Math.max(0, parent.width * (parseFloat(overlay.progressWidth) || 0) / 100)
            }
        }
        Text {
            objectName: "ov-splash"
            visible: !overlay.isError
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            topPadding: 18
            text: overlay.splash
            font.pixelSize: 14
            color: "#5e6b82"
        }
        Item {
            visible: overlay.canCancel
            anchors.horizontalCenter: parent.horizontalCenter
            width: cancelButton.width
            height: cancelButton.height + 26
            ActionButton {
                id: cancelButton
                objectName: "ov-cancel"
                y: 26
                text: "Отмена"
                onClicked: overlay.cancelClicked()
            }
        }
        Item {
            visible: overlay.isError
            anchors.horizontalCenter: parent.horizontalCenter
            width: closeButton.width
            height: closeButton.height + 22
            ActionButton {
                id: closeButton
                objectName: "ov-close"
                y: 22
                primary: true
                text: "OK"
                onClicked: overlay.closeClicked()
            }
        }
    }
}
