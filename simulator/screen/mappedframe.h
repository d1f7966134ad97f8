#pragma once

#include <QFile>
#include <QImage>

// Read side of an application's frame file: the pixels mapped, seen as an image without a copy.
class MappedFrame
{
public:
    MappedFrame() = default;
    ~MappedFrame();
    MappedFrame(const MappedFrame&) = delete;
    MappedFrame& operator=(const MappedFrame&) = delete;

    // Null when the file is not what the application described.
    QImage image(const QString& path, int width, int height, int bytesPerLine);

private:
    void unmap();

    QFile file;
    uchar* pixels = nullptr;
    qint64 mappedSize = 0;
};
