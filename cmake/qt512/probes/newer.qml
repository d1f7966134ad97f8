// Lines marked "newer" need a Qt Quick newer than 5.12. Scanned by check-qt512 --self-test.
import QtQuick 2.12
import QtQuick 2.15  // newer
import QtQuick.Window 2.2
import QtQuick.Controls 2.14  // newer
import QtQml  // newer

Item {
    required property string name  // newer
    property string label: model ? model.text : ""
    property string fallback: model?.text  // newer
    property string other: model.text ?? ""  // newer
    component Badge: Rectangle {}  // newer
}
