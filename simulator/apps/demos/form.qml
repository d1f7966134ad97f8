import QtQuick 2.12

// A form: a text field, two buttons, a switch; OK shows a toast.
Rectangle {
    id: form
    objectName: "formPage"
    color: "#f4f4f4"

    property bool wifiOn: false

    Column {
        anchors { fill: parent; margins: 40 }
        spacing: 32

        Text {
            objectName: "formTitle"
            text: "Form"
            font.pixelSize: 44
        }

        Rectangle {
            objectName: "nameField"
            width: parent.width
            height: 88
            color: "white"
            border.color: nameInput.activeFocus ? "#2d7ff9" : "#999999"
            border.width: 2
            radius: 8

            TextInput {
                id: nameInput
                objectName: "nameInput"
                anchors { fill: parent; margins: 20 }
                font.pixelSize: 36
                focus: true
                clip: true
            }

            MouseArea {
                anchors.fill: parent
                onClicked: nameInput.forceActiveFocus()
            }
        }

        Row {
            spacing: 24

            Rectangle {
                id: okButton
                objectName: "okButton"
                width: 240
                height: 96
                radius: 12
                color: okArea.pressed ? "#1b5fc4" : "#2d7ff9"

                Text {
                    objectName: "okLabel"
                    anchors.centerIn: parent
                    text: "OK"
                    color: "white"
                    font.pixelSize: 36
                }

                MouseArea {
                    id: okArea
                    anchors.fill: parent
                    onClicked: {
                        result.text = "Hello, " + nameInput.text
                        form.clicks += 1
                        orvana.showToast(result.text)
                    }
                }
            }

            Rectangle {
                objectName: "clearButton"
                width: 240
                height: 96
                radius: 12
                color: clearArea.pressed ? "#777777" : "#999999"

                Text {
                    anchors.centerIn: parent
                    text: "Clear"
                    color: "white"
                    font.pixelSize: 36
                }

                MouseArea {
                    id: clearArea
                    anchors.fill: parent
                    onClicked: {
                        nameInput.text = ""
                        result.text = ""
                    }
                }
            }
        }

        Row {
            spacing: 24

            Text {
                text: "Wi-Fi"
                font.pixelSize: 36
                anchors.verticalCenter: parent.verticalCenter
            }

            Rectangle {
                objectName: "wifiSwitch"
                width: 128
                height: 64
                radius: 32
                color: form.wifiOn ? "#34c759" : "#cccccc"

                Rectangle {
                    objectName: "wifiKnob"
                    x: form.wifiOn ? parent.width - width - 4 : 4
                    y: 4
                    width: 56
                    height: 56
                    radius: 28
                    color: "white"
                }

                MouseArea {
                    anchors.fill: parent
                    onClicked: form.wifiOn = !form.wifiOn
                }
            }

            Text {
                objectName: "wifiState"
                text: form.wifiOn ? "on" : "off"
                font.pixelSize: 36
                anchors.verticalCenter: parent.verticalCenter
            }
        }

        Text {
            id: result
            objectName: "resultText"
            font.pixelSize: 36
        }

        Text {
            objectName: "clickCount"
            text: "clicks: " + form.clicks
            font.pixelSize: 28
            color: "#555555"
        }
    }

    property int clicks: 0
}
