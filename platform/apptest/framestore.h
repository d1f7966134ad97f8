#pragma once

#include <QFile>
#include <QImage>

// The window's latest frame as raw 32-bit pixels (0xffRRGGBB) in a file in XDG_RUNTIME_DIR,
// which the compositor maps instead of decoding an image.
class FrameStore
{
public:
    explicit FrameStore(const QString& path);
    ~FrameStore();
    FrameStore(const FrameStore&) = delete;
    FrameStore& operator=(const FrameStore&) = delete;

    static QString pathFor(qint64 pid);

    QString path() const { return file.fileName(); }
    bool write(const QImage& image);

private:
    QFile file;
    uchar* pixels = nullptr;
    qint64 mappedSize = 0;
};
