#pragma once

#include <QObject>
#include <QString>

// Where files live on disk: the picture and attachment cache, the application data folder and
// the download folder, plus the two limits the chat window applies to what it sends. One
// instance, made by the main window, is reachable process-wide.
//
// Every path rule takes a name that may be a path or a URL and keeps only a safe last component
// of it (safeFileName), so a name chosen by a server or a peer never leads out of its folder.
class FileManager : public QObject
{
    Q_OBJECT
public:
    // The longest text sent as a plain chat message.
    static constexpr int kTextLimit = 250;
    // The largest attachment accepted (50 MiB).
    static constexpr qint64 kFileSizeLimit = 52428800;

    explicit FileManager(QObject* parent = nullptr);
    ~FileManager() override;

    // The newest instance, or null.
    static FileManager* instance();

    int textLimit() const { return kTextLimit; }
    qint64 fileSizeLimit() const { return kFileSizeLimit; }

    // The last component of a path or URL (query and fragment of a URL left out), without
    // control characters and the characters no file system accepts in a name; empty for
    // nothing usable ("", ".", "..", a trailing separator).
    static QString safeFileName(const QString& name);

    // The cache folder + "/" + the file name; empty text for an empty name.
    static QString cacheFilePath(const QString& name);
    // cacheFilePath(name) when that file exists, otherwise empty text.
    static QString cachedFile(const QString& name);
    // The application data folder (created when missing) + "/" + the file name.
    static QString dataFilePath(const QString& name);
    // The documents folder + "/" + the application's name; created when missing.
    static QString downloadFolder();
    // Writes a long text message into a new file of the cache folder and returns its path, or
    // empty text when it cannot be written.
    static QString makeTextFile(const QString& text);

    static QString cacheFolder();
};
