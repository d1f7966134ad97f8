#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Turns the top application's frame into the screen image: the open panel on top of it, the
// latest toast near the bottom, and PNG bytes of the whole.
class ScreenComposer
{
public:
    // Fast zlib level: screenshots are asked for often, and a UI compresses well even so.
    static const int PNG_QUALITY = 80;

    static QByteArray encode(const QImage& image);
    // The frame as it is when nothing covers it, else a copy with the overlays painted.
    static QImage compose(const QImage& frame, bool panelOpen, const QString& toast);
    static QImage black(const QSize& size);

private:
    static void paintPanel(QImage& image);
    static void paintToast(QImage& image, const QString& toast);
};
