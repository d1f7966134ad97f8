#include "mappedframe.h"

namespace {

const int MAX_SIDE = 8192;

} // namespace

MappedFrame::~MappedFrame()
{
    unmap();
}

void MappedFrame::unmap()
{
    if (pixels)
        file.unmap(pixels);
    pixels = nullptr;
    mappedSize = 0;
    file.close();
}

QImage MappedFrame::image(const QString& path, int width, int height, int bytesPerLine)
{
    if (width <= 0 || height <= 0 || width > MAX_SIDE || height > MAX_SIDE
        || bytesPerLine < width * 4 || bytesPerLine % 4 != 0)
        return QImage();
    const qint64 size = qint64(bytesPerLine) * height;
    if (path != file.fileName() || size != mappedSize) {
        unmap();
        file.setFileName(path);
        if (!file.open(QIODevice::ReadOnly))
            return QImage();
        if (file.size() < size)
            return QImage();
        pixels = file.map(0, size);
        if (!pixels)
            return QImage();
        mappedSize = size;
    } else if (file.size() < size) {
        // The file shrank under the mapping: reading it would fault.
        unmap();
        return QImage();
    }
    return QImage(static_cast<const uchar*>(pixels), width, height, bytesPerLine,
                  QImage::Format_RGB32);
}
