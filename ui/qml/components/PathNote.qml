import QtQuick

// ".path-note": a wrapped explanatory line under a setting (14 below it).
Text {
    width: parent ? parent.width : implicitWidth
    wrapMode: Text.Wrap
    font.pixelSize: 12
    color: "#5e6b82"
    bottomPadding: 14
}
