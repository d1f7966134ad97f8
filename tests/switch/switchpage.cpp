#include "switchpage.h"

#include <QQuickItem>
#include <QQuickView>
#include <QSignalSpy>
#include <QTest>

SwitchPage::SwitchPage(QQuickView* view)
    : m_view(view)
{
}

bool SwitchPage::waitForFrame()
{
    if (!QTest::qWaitForWindowExposed(m_view))
        return false;
    QSignalSpy frames(m_view, &QQuickWindow::frameSwapped);
    m_view->update();
    return frames.wait(5000) && item("layoutSwitch") && item("rbsystemmian");
}

QQuickItem* SwitchPage::item(const char* name) const
{
    QQuickItem* root = m_view->rootObject();
    return root ? root->findChild<QQuickItem*>(QLatin1String(name)) : nullptr;
}

bool SwitchPage::switchOn() const
{
    return item("layoutSwitch")->property("switchOn").toBool();
}

bool SwitchPage::buttonEnabled() const
{
    return item("rbsystemmian")->isEnabled();
}

void SwitchPage::tapSwitch()
{
    tap(item("layoutSwitch"));
}

void SwitchPage::tapButton()
{
    tap(item("rbsystemmian"));
}

void SwitchPage::tap(QQuickItem* target)
{
    const QPoint centre =
        target->mapToScene(QPointF(target->width() / 2, target->height() / 2)).toPoint();
    QTest::mouseClick(m_view, Qt::LeftButton, Qt::NoModifier, centre);
}
