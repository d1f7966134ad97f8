import QtQuick 2.0

// One full page of an application; its children are the page's content.
Rectangle {
    property string title

    color: "#f4f5f7"
}
