#include "ArchiveExport.h"

#include <QSaveFile>

QByteArray ExportBytes(const std::vector<TPageRow>& rows)
{
    QByteArray bytes;
    for (const TPageRow& row : rows) {
        bytes += "\r\n";
        for (const QString& cell : row) {
            bytes += cell.toLatin1();
            bytes += '\t';
        }
    }
    return bytes;
}

std::optional<QString> ReplaceFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    // Unbuffered, so that a short write shows here and not in a flush that commit() does not check.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    const qint64 written = file.write(bytes);
    if (written != bytes.size()) {
        const QString reason = written < 0 ? file.errorString()
                                           : QStringLiteral("only %1 of %2 bytes could be written")
                                                 .arg(written)
                                                 .arg(bytes.size());
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}
