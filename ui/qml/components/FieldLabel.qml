import QtQuick

// ".field-label": the small grey caption above a control (7 below it).
Text {
    font.pixelSize: 12
    color: "#7a86a0"
    bottomPadding: 7
}
