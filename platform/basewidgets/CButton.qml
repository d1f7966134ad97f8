import QtQuick 2.0

// Push button with a text label.
Item {
    id: control

    property alias text: label.text
    readonly property alias pressed: area.pressed
    signal clicked()

    implicitWidth: Math.max(160, label.implicitWidth + 64)
    implicitHeight: 64
    width: implicitWidth
    height: implicitHeight

    Rectangle {
        anchors.fill: parent
        radius: 12
        color: !control.enabled ? "#d5d8dc" : area.pressed ? "#1f5fb4" : "#2a7ae2"
    }

    Text {
        id: label
        anchors.centerIn: parent
        font.pixelSize: 26
        color: control.enabled ? "#ffffff" : "#8a8f96"
    }

    MouseArea {
        id: area
        anchors.fill: parent
        onClicked: control.clicked()
    }
}
