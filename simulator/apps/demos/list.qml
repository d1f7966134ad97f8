import QtQuick 2.12

// A long list that a slide flicks; a row opens a detail page that Back closes.
Item {
    id: page
    objectName: "listPage"
    focus: true

    Keys.onBackPressed: {
        if (detail.visible) {
            detail.visible = false
            event.accepted = true
        } else {
            event.accepted = false
        }
    }

    ListView {
        id: list
        objectName: "list"
        anchors.fill: parent
        model: 100
        clip: true
        delegate: Rectangle {
            objectName: "row" + index
            width: list.width
            height: 96
            color: index % 2 ? "#ffffff" : "#eef2f7"

            Text {
                objectName: "rowText" + index
                anchors { verticalCenter: parent.verticalCenter; left: parent.left; leftMargin: 32 }
                text: "Item " + index
                font.pixelSize: 34
            }

            MouseArea {
                anchors.fill: parent
                onClicked: {
                    detailText.text = "Item " + index
                    detail.visible = true
                }
            }
        }
    }

    Rectangle {
        id: detail
        objectName: "detailPage"
        anchors.fill: parent
        visible: false
        color: "#fffbe6"

        Text {
            id: detailText
            objectName: "detailText"
            anchors.centerIn: parent
            font.pixelSize: 48
        }

        MouseArea {
            anchors.fill: parent
        }
    }
}
