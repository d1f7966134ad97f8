import QtQuick 2.0

// On/off switch. A tap flips switchOn and emits switchOnChangedByUser; setting switchOn from
// code does not emit it.
Item {
    id: control

    property bool switchOn: false
    signal switchOnChangedByUser()

    implicitHeight: 48
    implicitWidth: height * 1.8
    width: implicitWidth
    height: implicitHeight
    opacity: enabled ? 1.0 : 0.4

    Rectangle {
        id: track
        anchors.fill: parent
        radius: height / 2
        color: control.switchOn ? "#2a7ae2" : "#c9ccd1"
        Behavior on color { ColorAnimation { duration: 120 } }
    }

    Rectangle {
        id: knob
        readonly property real margin: Math.max(2, Math.round(control.height * 0.08))
        width: control.height - 2 * margin
        height: width
        radius: width / 2
        y: margin
        x: control.switchOn ? control.width - width - margin : margin
        color: "#ffffff"
        border.color: "#1f000000"
        border.width: 1
        Behavior on x { NumberAnimation { duration: 120; easing.type: Easing.OutCubic } }
    }

    MouseArea {
        anchors.fill: parent
        onClicked: {
            control.switchOn = !control.switchOn
            control.switchOnChangedByUser()
        }
    }
}
