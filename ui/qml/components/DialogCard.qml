import QtQuick

// A dialog mask over the whole window with its centred card; the mask
// swallows every click and hover meant for what lies below.
Rectangle {
    id: mask
    property int cardWidth: 420
    property int cardPadding: 28
    property string cardName
    default property alias content: column.data

    anchors.fill: parent
    color: "#ee060912"

    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.AllButtons
        onWheel: (wheel) => wheel.accepted = true
    }
    Rectangle {
        objectName: mask.cardName
        anchors.centerIn: parent
        width: mask.cardWidth
        height: column.implicitHeight + 2 * mask.cardPadding
        radius: 14
        color: "#121a2b"
        border.width: 1
        border.color: "#232f47"
        Column {
            id: column
            x: mask.cardPadding
            y: mask.cardPadding
            width: parent.width - 2 * mask.cardPadding
        }
    }
}
