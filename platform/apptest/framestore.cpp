#include "framestore.h"

#include <QDir>
#include <cstring>

FrameStore::FrameStore(const QString& path) : file(path)
{
}

FrameStore::~FrameStore()
{
    if (pixels)
        file.unmap(pixels);
    file.close();
    file.remove();
}

QString FrameStore::pathFor(qint64 pid)
{
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QStringLiteral("/orvana-frame-") + QString::number(pid);
}

bool FrameStore::write(const QImage& source)
{
    QImage image = source;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32
        && image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_RGB32);
    const qint64 size = qint64(image.bytesPerLine()) * image.height();
    if (size != mappedSize) {
        if (pixels)
            file.unmap(pixels);
        pixels = nullptr;
        mappedSize = 0;
        if (!file.isOpen() && !file.open(QIODevice::ReadWrite))
            return false;
        if (!file.resize(size))
            return false;
        pixels = file.map(0, size);
        if (!pixels)
            return false;
        mappedSize = size;
    }
    std::memcpy(pixels, image.constBits(), size_t(size));
    return true;
}
