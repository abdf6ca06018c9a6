import QtQuick

// A dialog card's centred white title.
Text {
    width: parent ? parent.width : implicitWidth
    horizontalAlignment: Text.AlignHCenter
    wrapMode: Text.Wrap
    font.pixelSize: 20
    font.bold: true
    color: "#ffffff"
}
