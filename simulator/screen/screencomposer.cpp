#include "screencomposer.h"

#include <QBuffer>
#include <QDateTime>
#include <QImageWriter>
#include <QPainter>

QByteArray ScreenComposer::encode(const QImage& image)
{
    QByteArray bytes;
    if (image.isNull())
        return bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(PNG_QUALITY);
    if (!writer.write(image))
        bytes.clear();
    return bytes;
}

QImage ScreenComposer::black(const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

QImage ScreenComposer::compose(const QImage& frame, bool panelOpen, const QString& toast)
{
    if (frame.isNull() || (!panelOpen && toast.isEmpty()))
        return frame;
    QImage image = frame.copy();
    if (panelOpen)
        paintPanel(image);
    if (!toast.isEmpty())
        paintToast(image, toast);
    return image;
}

void ScreenComposer::paintPanel(QImage& image)
{
    const int w = image.width();
    const int h = image.height() * 2 / 5;
    const int unit = qMax(8, w / 30);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(0, 0, w, h, QColor(24, 28, 36, 235));
    QFont font = painter.font();
    font.setPixelSize(unit * 2);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(unit * 2, unit, w - unit * 4, unit * 3), Qt::AlignLeft | Qt::AlignVCenter,
                     QDateTime::currentDateTime().toString(QStringLiteral("HH:mm")));
    font.setPixelSize(unit);
    painter.setFont(font);
    const char* const tiles[] = {"Wi-Fi", "Bluetooth", "Rotation", "Silent"};
    const int tileWidth = (w - unit * 6) / 4;
    for (int i = 0; i < 4; ++i) {
        const QRect tile(unit * 2 + i * (tileWidth + unit * 2 / 3), unit * 5, tileWidth, unit * 4);
        painter.setBrush(QColor(60, 66, 80));
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(tile, unit / 2, unit / 2);
        painter.setPen(Qt::white);
        painter.drawText(tile, Qt::AlignCenter, QString::fromLatin1(tiles[i]));
    }
    painter.setPen(QColor(200, 200, 200));
    painter.drawText(QRect(unit * 2, unit * 10, w - unit * 4, h - unit * 11),
                     Qt::AlignLeft | Qt::AlignTop, QStringLiteral("No notifications"));
    painter.fillRect((w - unit * 4) / 2, h - unit, unit * 4, unit / 4, QColor(160, 160, 160));
}

void ScreenComposer::paintToast(QImage& image, const QString& toast)
{
    const int w = image.width();
    const int unit = qMax(8, w / 30);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setPixelSize(unit);
    painter.setFont(font);
    const QRect room(unit * 3, 0, w - unit * 6, image.height() / 3);
    QRect text = painter.boundingRect(room, Qt::AlignHCenter | Qt::TextWordWrap, toast);
    text.moveCenter(QPoint(w / 2, image.height() - image.height() / 8));
    const QRect box = text.adjusted(-unit, -unit / 2, unit, unit / 2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 40, 40, 220));
    painter.drawRoundedRect(box, box.height() / 2, box.height() / 2);
    painter.setPen(Qt::white);
    painter.drawText(text, Qt::AlignHCenter | Qt::TextWordWrap, toast);
}
