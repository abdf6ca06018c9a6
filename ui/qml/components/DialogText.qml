import QtQuick

// A dialog card's centred explanation; ".hl" parts are written as
// <font color="#4be3a7">.
Text {
    width: parent ? parent.width : implicitWidth
    horizontalAlignment: Text.AlignHCenter
    wrapMode: Text.Wrap
    textFormat: Text.StyledText
    font.pixelSize: 14
    color: "#9aa6c0"
    bottomPadding: 22
}
