import QtQuick 2.0

// Root of an application's view: a stack of pages, only the top one shown.
Item {
    id: window

    property Item initialPage
    readonly property Item currentPage: pages.length > 0 ? pages[pages.length - 1] : null
    readonly property int depth: pages.length
    property var pages: []

    function push(page) {
        page.parent = stage
        page.anchors.fill = stage
        if (currentPage)
            currentPage.visible = false
        page.visible = true
        pages = pages.concat([page])
        return page
    }

    function pop() {
        if (pages.length < 2)
            return null
        var top = pages[pages.length - 1]
        top.visible = false
        pages = pages.slice(0, pages.length - 1)
        currentPage.visible = true
        return top
    }

    width: 720
    height: 1280

    Rectangle {
        id: stage
        anchors.fill: parent
        color: "#f4f5f7"
    }

    Component.onCompleted: {
        if (initialPage)
            push(initialPage)
    }
}
