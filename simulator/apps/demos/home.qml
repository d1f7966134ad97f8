import QtQuick 2.12

// The home screen: one tile per installed application; a tap launches it.
Rectangle {
    id: home
    objectName: "homeScreen"
    color: "#1e2a38"

    Text {
        id: title
        objectName: "homeTitle"
        anchors { top: parent.top; left: parent.left; margins: 32 }
        text: "Orvana"
        color: "white"
        font.pixelSize: 48
    }

    GridView {
        id: grid
        objectName: "appGrid"
        anchors { top: title.bottom; left: parent.left; right: parent.right; bottom: parent.bottom; margins: 24 }
        cellWidth: width / 3
        cellHeight: cellWidth + 40
        interactive: false
        model: orvana.installedApps
        delegate: Item {
            objectName: "tile_" + modelData.sopid + "_" + modelData.uiappid
            width: grid.cellWidth
            height: grid.cellHeight

            Rectangle {
                id: icon
                objectName: "icon_" + modelData.uiappid
                anchors { top: parent.top; horizontalCenter: parent.horizontalCenter; topMargin: 16 }
                width: parent.width * 0.6
                height: width
                radius: width / 5
                color: Qt.hsla((index * 0.27) % 1, 0.55, 0.5, 1)

                Text {
                    anchors.centerIn: parent
                    text: modelData.name.charAt(0)
                    color: "white"
                    font.pixelSize: parent.height / 2
                }

                MouseArea {
                    objectName: "launch_" + modelData.uiappid
                    anchors.fill: parent
                    onClicked: orvana.launch(modelData.sopid, modelData.uiappid)
                }
            }

            Text {
                objectName: "label_" + modelData.uiappid
                anchors { top: icon.bottom; horizontalCenter: parent.horizontalCenter; topMargin: 8 }
                text: modelData.name
                color: "white"
                font.pixelSize: 24
            }
        }
    }
}
