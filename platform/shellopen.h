#pragma once

class QString;

// Opens a file with the application the desktop associates with it. The result follows the
// Windows shell's convention, which the callers were written against: a value above 32 is
// success, 5 is "access denied" (worth one retry), anything else at or below 32 is a failure.
int platformShellOpen(const QString& filePath);

// Opens a folder or a web address with the desktop's default handler.
bool platformOpenUrl(const QString& urlOrPath);
