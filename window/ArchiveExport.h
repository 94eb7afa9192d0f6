// The archive export file: tab-separated text, one record per grid row, written so that a failure never
// costs the file that was there before.
#pragma once

#include "ArchivePage.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// Every record is CR LF followed by each cell's text and a TAB, one byte per character; nothing comes
// after the last record.
QByteArray ExportBytes(const std::vector<TPageRow>& rows);

// Writes `bytes` to a new file beside `path` and renames it over `path` only once every byte is written.
// On failure `path` is left as it was, and the reason is returned.
std::optional<QString> ReplaceFile(const QString& path, const QByteArray& bytes);
