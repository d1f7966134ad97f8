#include "switchpage.h"

#include <QDir>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

namespace {
bool isAccent(QRgb c)
{
    return qBlue(c) - qRed(c) > 80;
}
bool isWhite(QRgb c)
{
    return qRed(c) > 235 && qGreen(c) > 235 && qBlue(c) > 235;
}
bool isGrey(QRgb c)
{
    return qAbs(qRed(c) - qBlue(c)) < 20 && qRed(c) > 150 && qRed(c) < 225;
}
} // namespace

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

QImage SwitchPage::grab() const
{
    return m_view->screen()->grabWindow(m_view->winId()).toImage();
}

QString SwitchPage::drawnSwitchState() const
{
    // The knob covers one end of the track: the other end shows the track's colour.
    const QQuickItem* sw = item("layoutSwitch");
    const qreal h = sw->height();
    const QImage image = grab();
    const QPoint left = sw->mapToScene(QPointF(h * 0.3, h / 2)).toPoint();
    const QPoint right = sw->mapToScene(QPointF(sw->width() - h * 0.3, h / 2)).toPoint();
    if (!image.rect().contains(left) || !image.rect().contains(right))
        return QStringLiteral("unclear");
    const QRgb l = image.pixel(left);
    const QRgb r = image.pixel(right);
    if (isAccent(l) && isWhite(r))
        return QStringLiteral("on");
    if (isWhite(l) && isGrey(r))
        return QStringLiteral("off");
    return QStringLiteral("unclear");
}

bool SwitchPage::saveArtifact(const QString& name) const
{
    QDir().mkpath(QStringLiteral(SWITCH_ARTIFACTS));
    return grab().save(QDir(QStringLiteral(SWITCH_ARTIFACTS)).filePath(name + QStringLiteral(".png")));
}
