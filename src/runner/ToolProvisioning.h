#pragma once

#include <QByteArray>
#include <QString>

class Guard;

// The SoX tool and its library travel inside the program as resources and are
// written into the tool folder before first use. Their file names are the same on
// every platform.
inline constexpr int toolResourceId = 101;
inline constexpr int libraryResourceId = 102;
inline const QString toolFileName = QStringLiteral("sox.exe");
inline const QString libraryFileName = QStringLiteral("zlib1.dll");

// "TEMP" when it is set and not empty, read afresh at every use and taken as it is.
// Otherwise a folder of our own that only this user can enter.
QString toolFolder();
// The tool folder, the native separator and the file name.
QString toolFilePath(const QString& fileName);

// The bytes of a tool resource; throws Failure when the program lacks it.
QByteArray loadToolResource(int id);

// Writes the bytes to the target unless something is there already. The bytes go to
// a temporary file beside the target first, which is renamed into place only when
// complete, so a failed write never leaves a broken tool under the final name. The
// file is readable, writable and runnable by its owner alone. Throws Failure.
void writeToolFile(const QByteArray& data, const QString& targetPath);

// The six provisioning steps of an action handler, labelled firstLine, firstLine + 2, ...
void provisionTools(Guard& guard, int firstLine);
