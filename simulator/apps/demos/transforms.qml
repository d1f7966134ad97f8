import QtQuick 2.12

// Transformed items and a multi-touch area that counts how many fingers touched it.
Rectangle {
    id: page
    objectName: "transformsPage"
    color: "white"

    property int taps: 0
    property int mostPoints: 0

    Rectangle {
        objectName: "rotatedBox"
        x: 80
        y: 120
        width: 240
        height: 120
        rotation: 30
        color: "#ff9500"

        Text {
            objectName: "rotatedText"
            anchors.centerIn: parent
            text: "taps: " + page.taps
            font.pixelSize: 32
        }

        MouseArea {
            anchors.fill: parent
            onClicked: page.taps += 1
        }
    }

    Rectangle {
        objectName: "scaledBox"
        x: 420
        y: 120
        width: 160
        height: 120
        scale: 1.5
        color: "#5856d6"

        Text {
            anchors.centerIn: parent
            text: "x1.5"
            color: "white"
            font.pixelSize: 32
        }
    }

    Rectangle {
        objectName: "touchPanel"
        anchors { left: parent.left; right: parent.right; bottom: parent.bottom; margins: 40 }
        height: parent.height / 2
        color: "#e5f6ec"
        border.color: "#34c759"
        border.width: 2

        MultiPointTouchArea {
            objectName: "twoFingerArea"
            anchors.fill: parent
            minimumTouchPoints: 1
            maximumTouchPoints: 5
            onPressed: page.mostPoints = Math.max(page.mostPoints, touchPoints.length)
            onTouchUpdated: {
                var down = 0
                for (var i = 0; i < touchPoints.length; ++i) {
                    if (touchPoints[i].pressed)
                        down += 1
                }
                page.mostPoints = Math.max(page.mostPoints, down)
            }
        }

        Text {
            objectName: "touchCount"
            anchors.centerIn: parent
            text: "points: " + page.mostPoints
            font.pixelSize: 40
        }
    }
}
