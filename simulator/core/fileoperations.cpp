#include "fileoperations.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

bool FileOperations::exists(const QString& path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool FileOperations::removeFile(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || (info.isDir() && !info.isSymLink()))
        return false;
    return QFile::remove(path);
}

bool FileOperations::makeDirectory(const QString& path)
{
    if (path.isEmpty())
        return false;
    QDir().mkpath(path);
    return QFileInfo(path).isDir();
}

bool FileOperations::sameEntry(const QString& a, const QString& b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

bool FileOperations::clearTarget(const QString& target)
{
    const QFileInfo info(target);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isDir() && !info.isSymLink())
        return false;
    return QFile::remove(target);
}

bool FileOperations::move(const QString& source, const QString& target)
{
    const QFileInfo info(source);
    if (source.isEmpty() || target.isEmpty() || !info.exists())
        return false;
    if (sameEntry(source, target))
        return true;
    if (info.isDir()) {
        if (QFileInfo::exists(target))
            return false;
        if (QDir().rename(source, target))
            return true;
        // Another file system: copy the tree, then remove the original.
        return copyDirectory(source, target) && QDir(source).removeRecursively();
    }
    // QFile::rename falls back to copy and remove across file systems.
    return clearTarget(target) && QFile::rename(source, target);
}

bool FileOperations::copy(const QString& source, const QString& target)
{
    const QFileInfo info(source);
    if (source.isEmpty() || target.isEmpty() || !info.isFile())
        return false;
    if (sameEntry(source, target))
        return true;
    return clearTarget(target) && QFile::copy(source, target);
}

QByteArray FileOperations::list(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return QByteArray();
    QByteArray text;
    const QFileInfoList entries = QDir(path).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        text += entry.fileName().toUtf8();
        if (entry.isDir())
            text += '/';
        text += '\n';
    }
    return text;
}

bool FileOperations::removeDirectory(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isDir() || info.isSymLink() || info.canonicalFilePath() == QLatin1String("/"))
        return false;
    return QDir(path).removeRecursively();
}

bool FileOperations::copyDirectory(const QString& source, const QString& target)
{
    if (source.isEmpty() || target.isEmpty() || !QFileInfo(source).isDir())
        return false;
    // A target inside the source would copy itself for ever.
    const QString from = QFileInfo(source).canonicalFilePath() + QLatin1Char('/');
    const QString to = QFileInfo(target).absoluteFilePath() + QLatin1Char('/');
    if (to.startsWith(from) || (QFileInfo::exists(target) && sameEntry(source, target)))
        return false;
    return copyTree(source, target);
}

bool FileOperations::copyTree(const QString& source, const QString& target)
{
    if (!QDir().mkpath(target))
        return false;
    bool ok = true;
    const QFileInfoList entries =
        QDir(source).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const QString to = target + QLatin1Char('/') + entry.fileName();
        if (entry.isDir() && !entry.isSymLink())
            ok = copyTree(entry.filePath(), to) && ok;
        else
            ok = clearTarget(to) && QFile::copy(entry.filePath(), to) && ok;
    }
    return ok;
}
