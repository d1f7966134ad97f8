import QtQuick 2.0
import com.orvana.basewidgets 2.0

CPageStackWindow {
    initialPage: CPage {
        anchors.fill: parent

        Item {
            width: 500
            height: 180
            anchors.centerIn: parent

            Column {
                anchors.fill: parent

                Row {
                    width: parent.width
                    height: parent.height / 2
                    spacing: 24

                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: qsTr("UI控件布局输出:")
                        font.pixelSize: 30
                        color: "#1d1f23"
                    }

                    CSwitch {
                        objectName: "layoutSwitch"
                        anchors.verticalCenter: parent.verticalCenter
                        height: 60
                        switchOn: sd.getSwitch()
                        onSwitchOnChangedByUser: {
                            sd.setSwitch(switchOn)
                            rbsystemmian.enabled = true
                        }
                    }
                }

                Item {
                    width: parent.width
                    height: parent.height / 2
                    clip: true

                    CButton {
                        id: rbsystemmian
                        objectName: "rbsystemmian"
                        anchors.centerIn: parent
                        text: "restart system-main"
                        enabled: false
                        onClicked: sd.restartSystemMain()
                    }
                }
            }
        }
    }
}
