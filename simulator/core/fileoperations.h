#pragma once

#include <QByteArray>
#include <QString>

// The compositor's file methods. Paths are used as given; an empty path never matches anything
// (it would otherwise mean the current directory).
class FileOperations
{
public:
    static bool exists(const QString& path);
    static bool removeFile(const QString& path);
    static bool makeDirectory(const QString& path);
    // Replaces an existing target file; works across file systems.
    static bool move(const QString& source, const QString& target);
    static bool copy(const QString& source, const QString& target);
    // One entry per line, sorted by name, folders with a trailing "/"; empty if not a folder.
    static QByteArray list(const QString& path);
    static bool removeDirectory(const QString& path);
    static bool copyDirectory(const QString& source, const QString& target);

private:
    static bool sameEntry(const QString& a, const QString& b);
    static bool clearTarget(const QString& target);
    static bool copyTree(const QString& source, const QString& target);
};
