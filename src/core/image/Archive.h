#pragma once

#include <QByteArray>
#include <QString>

// The image archive: every new image of a viewer stored as a numbered JPEG file,
// "<SavePath>/<Name>/Image 00001.jpg" (one folder per webcam) or "<SavePath>/<Name> 00001.jpg".
namespace Archive {

// The webcam's name without leading and trailing blanks and control characters.
QString TrimName(const QString& name);

// Every character of a name that is not a space, "(", ")", "-", "_", "/", a digit or an ASCII
// letter becomes a space, so a webcam's name is always a harmless file name ("St. Moritz" ->
// "St  Moritz").
QString CleanName(const QString& text);

// The part of every file name before its number: the archive folder with a "/" at its end, then
// the trimmed and cleaned name followed by "/Image " (subDirectory) or " ". The folder itself is
// taken as the user chose it. Empty when savePath is empty (nothing is archived then).
QString FilePrefix(const QString& savePath, const QString& camName, bool subDirectory);

// prefix + the number with at least five digits + ".jpg".
QString FileName(const QString& prefix, int number);

// Writes data as the next free file of the webcam's sequence. The search starts after lastId and
// advances lastId past every file that exists, so gaps are filled first; lastId is left at the
// number before the one written. Missing folders are created. The file appears complete or not
// at all, and an existing file is never overwritten. Returns the path written, or an empty
// string on failure (no folder, an unwritable folder, a full disk) with the reason in *error.
QString ArchiveImage(const QByteArray& data, const QString& camName, int& lastId,
                     const QString& savePath, bool subDirectory, QString* error = nullptr);

} // namespace Archive
