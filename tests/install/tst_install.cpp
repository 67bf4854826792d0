// The program as a desktop installs it: `cmake --install` into a private DESTDIR, the desktop's
// own validators over what was laid out, the installed program started on a real X display, and
// the Debian package made from the same rules.
#include "common/childprocess.h"
#include "common/testenv.h"
#include "common/xsession.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>

namespace {
const QString kAppId = QStringLiteral("com.plovex.veltritalk");
const QString kTitle = QStringLiteral("^PLOVEX\\(Chat\\)$");
constexpr int kWait = 20000;

// What a command-line tool said: its exit code and the lines it printed, less the ones that only
// say all is well.
struct ToolRun
{
    int exitCode = -1;
    QStringList lines;
    bool operator==(const ToolRun& o) const { return exitCode == o.exitCode && lines == o.lines; }
};

ToolRun runTool(const QString& program, const QStringList& args,
                const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    ToolRun run;
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit) {
        run.lines << program + QStringLiteral(" did not finish: ") + p.errorString();
        return run;
    }
    run.exitCode = p.exitCode();
    for (const QString& line : QString::fromUtf8(p.readAll()).split('\n', Qt::SkipEmptyParts)) {
        if (!line.contains(QStringLiteral("Validation was successful")))
            run.lines << line;
    }
    return run;
}

// The keys of the [Desktop Entry] group; an entry without that group reads as empty.
QMap<QString, QString> readDesktopEntry(const QString& path)
{
    QFile file(path);
    QMap<QString, QString> keys;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    bool inGroup = false;
    for (const QString& raw : QString::fromUtf8(file.readAll()).split('\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith('['))
            inGroup = line == QLatin1String("[Desktop Entry]");
        else if (inGroup && line.contains('=') && !line.startsWith('#'))
            keys.insert(line.section('=', 0, 0).trimmed(), line.section('=', 1).trimmed());
    }
    return keys;
}

// What the desktop entry leads to: a program it can run, and how many icon files its name has.
struct EntryTargets
{
    bool programRuns = false;
    int icons = 0;
    bool operator==(const EntryTargets& o) const
    {
        return programRuns == o.programRuns && icons == o.icons;
    }
};

struct IconFile
{
    bool exists = false;
    QSize size;
    bool operator==(const IconFile& o) const { return exists == o.exists && size == o.size; }
};

// The AppStream facts the software centres show.
struct Metainfo
{
    QString id;
    QString launchable;
    QString koreanName;
    QStringList releases;
    int screenshots = 0;
    bool operator==(const Metainfo& o) const
    {
        return id == o.id && launchable == o.launchable && koreanName == o.koreanName &&
               releases == o.releases && screenshots == o.screenshots;
    }
};

Metainfo readMetainfo(const QString& path)
{
    Metainfo info;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return info;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringRef name = xml.name();
        const QString lang = xml.attributes().value(QStringLiteral("xml:lang")).toString();
        if (name == QLatin1String("id"))
            info.id = xml.readElementText();
        else if (name == QLatin1String("launchable"))
            info.launchable = xml.readElementText();
        else if (name == QLatin1String("name") && lang == QLatin1String("ko"))
            info.koreanName = xml.readElementText();
        else if (name == QLatin1String("release"))
            info.releases << xml.attributes().value(QStringLiteral("version")).toString();
        else if (name == QLatin1String("image"))
            ++info.screenshots;
    }
    if (xml.hasError())
        info.id = QStringLiteral("unreadable: ") + xml.errorString();
    return info;
}

// Every file below `root`, as paths relative to it, sorted.
QStringList filesBelow(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

// A picture of one window as the X server has it; null when it cannot be taken.
QImage grabWindow(const XSession& x, const QString& window)
{
    QProcess p;
    p.setProcessEnvironment(x.environment(QProcessEnvironment::systemEnvironment()));
    p.start(QStringLiteral("import"), {"-window", window, "png:-"});
    p.waitForFinished(20000);
    return QImage::fromData(p.readAllStandardOutput(), "PNG");
}

// A window that has been painted holds more than one colour.
bool painted(const QImage& image)
{
    const QImage small = image.scaled(32, 32);
    for (int y = 0; y < small.height(); ++y) {
        for (int x = 0; x < small.width(); ++x) {
            if (small.pixel(x, y) != small.pixel(0, 0))
                return true;
        }
    }
    return false;
}

QString binaryDir()
{
    return qEnvironmentVariable("MT_BINARY_DIR");
}
} // namespace

Q_DECLARE_METATYPE(ToolRun)
Q_DECLARE_METATYPE(IconFile)
Q_DECLARE_METATYPE(Metainfo)

namespace QTest {
template <>
char* toString(const ToolRun& r)
{
    return qstrdup(
        QStringLiteral("exit %1: %2").arg(r.exitCode).arg(r.lines.join('\n')).toUtf8().constData());
}
template <>
char* toString(const EntryTargets& t)
{
    return qstrdup(QStringLiteral("program %1, %2 icon files")
                       .arg(t.programRuns ? QStringLiteral("runs") : QStringLiteral("missing"))
                       .arg(t.icons)
                       .toUtf8()
                       .constData());
}
template <>
char* toString(const IconFile& i)
{
    return qstrdup(QStringLiteral("%1, %2x%3")
                       .arg(i.exists ? QStringLiteral("present") : QStringLiteral("missing"))
                       .arg(i.size.width())
                       .arg(i.size.height())
                       .toUtf8()
                       .constData());
}
template <>
char* toString(const Metainfo& m)
{
    return qstrdup(QStringLiteral("id %1, launchable %2, Korean name %3, releases [%4], %5 "
                                  "screenshots")
                       .arg(m.id, m.launchable, m.koreanName, m.releases.join(QLatin1String(", ")))
                       .arg(m.screenshots)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

class TestInstall : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void validatorsAccept_data();
    void validatorsAccept();
    void desktopEntry_data();
    void desktopEntry();
    void entryFindsProgramAndIcon();
    void iconsInTheme_data();
    void iconsInTheme();
    void metainfoFacts();
    void autostartEntryNamesTheInstalledProgram();
    void installedProgramShowsItsWindow();
    void installedProgramSpeaksKorean();
    void packageHoldsTheInstallation();
    void packageDependsOnItsLibraries_data();
    void packageDependsOnItsLibraries();
    void packageInstallsWithApt();

private:
    QString installed(const QString& relative) const { return m_prefix + '/' + relative; }
    std::unique_ptr<QProcess> startInstalled(const XSession& x, QProcessEnvironment env) const;

    QTemporaryDir m_destdir;
    QString m_prefix;
    QTemporaryDir m_packageDir;
    QString m_deb;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_destdir.isValid());
    QVERIFY(m_packageDir.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), m_destdir.path());
    const ToolRun install = runTool(qEnvironmentVariable("MT_CMAKE"),
                                    {"--install", binaryDir(), "--prefix", "/usr"}, env);
    QVERIFY2(install.exitCode == 0, qPrintable(install.lines.join('\n')));
    m_prefix = m_destdir.path() + QStringLiteral("/usr");
}

void TestInstall::validatorsAccept_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("file");
    QTest::newRow("desktop entry")
        << "desktop-file-validate" << QStringList() << "share/applications/" + kAppId + ".desktop";
    QTest::newRow("metainfo") << "appstreamcli"
                              << QStringList{"validate", "--no-net", "--pedantic", "--no-color"}
                              << "share/metainfo/" + kAppId + ".metainfo.xml";
}

void TestInstall::validatorsAccept()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, args);
    QFETCH(QString, file);
    QVERIFY2(QFile::exists(installed(file)), qPrintable(file));
    QCOMPARE(runTool(tool, args << installed(file)), (ToolRun{0, {}}));
}

// Exec and Icon are proven by what they lead to, in entryFindsProgramAndIcon.
void TestInstall::desktopEntry_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("type") << "Type"
                          << "Application";
    QTest::newRow("name") << "Name"
                          << "VeltriTalk";
    QTest::newRow("Korean name") << "Name[ko]" << QStringLiteral("벨트리톡");
    QTest::newRow("Korean generic name") << "GenericName[ko]" << QStringLiteral("메신저");
    QTest::newRow("menu categories") << "Categories"
                                     << "Network;InstantMessaging;Chat;Qt;";
    QTest::newRow("no terminal") << "Terminal"
                                 << "false";
}

void TestInstall::desktopEntry()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QCOMPARE(readDesktopEntry(installed("share/applications/" + kAppId + ".desktop")).value(key),
             value);
}

// What the desktop does with the entry: runs its Exec from the installed bin folder, looks its
// Icon up in the installed theme (a picture at each size folder that has one, and the SVG).
void TestInstall::entryFindsProgramAndIcon()
{
    const QMap<QString, QString> entry =
        readDesktopEntry(installed("share/applications/" + kAppId + ".desktop"));
    const QFileInfo program(
        installed(QStringLiteral("bin/") + entry.value(QStringLiteral("Exec"))));
    QDirIterator icons(installed(QStringLiteral("share/icons/hicolor")),
                       {entry.value(QStringLiteral("Icon")) + QStringLiteral(".*")}, QDir::Files,
                       QDirIterator::Subdirectories);
    int found = 0;
    while (icons.hasNext() && !icons.next().isEmpty())
        ++found;
    QCOMPARE((EntryTargets{program.isFile() && program.isExecutable(), found}),
             (EntryTargets{true, 10}));
}

void TestInstall::iconsInTheme_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<IconFile>("expected");
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QString dir = QStringLiteral("%1x%1").arg(size);
        QTest::newRow(qPrintable(dir))
            << QStringLiteral("share/icons/hicolor/%1/apps/%2.png").arg(dir, kAppId)
            << IconFile{true, QSize(size, size)};
    }
    QTest::newRow("scalable") << "share/icons/hicolor/scalable/apps/" + kAppId + ".svg"
                              << IconFile{true, QSize(256, 256)};
}

// The entry's Icon name is found in the installed theme at each size, as the picture it claims.
void TestInstall::iconsInTheme()
{
    QFETCH(QString, file);
    QFETCH(IconFile, expected);
    const QString path = installed(file);
    QImageReader reader(path);
    QCOMPARE((IconFile{QFile::exists(path), reader.read().size()}), expected);
}

void TestInstall::metainfoFacts()
{
    QCOMPARE(readMetainfo(installed("share/metainfo/" + kAppId + ".metainfo.xml")),
             (Metainfo{kAppId, kAppId + ".desktop", QStringLiteral("벨트리톡"), {"1046"}, 1}));
}

// The settings switch writes the entry for the program as it lies, so an installed program
// starts itself from its installed place, not from a build tree; the desktop accepts the entry.
void TestInstall::autostartEntryNamesTheInstalledProgram()
{
    const QString program = installed(QStringLiteral("bin/autorun-check"));
    QVERIFY(QFile::copy(qEnvironmentVariable("MT_AUTORUN_CHILD"), program));
    TestEnv home;
    const ToolRun run = runTool(program, {}, home.processEnvironment());
    QFile::remove(program);
    QCOMPARE(run, (ToolRun{0, {}}));
    const QString entry = home.path(QStringLiteral("home/.config/autostart/VeltriTalk.desktop"));
    QCOMPARE(readDesktopEntry(entry).value(QStringLiteral("Exec")),
             QLatin1Char('"') + program + QLatin1Char('"'));
    QCOMPARE(runTool(QStringLiteral("desktop-file-validate"), {entry}), (ToolRun{0, {}}));
}

std::unique_ptr<QProcess> TestInstall::startInstalled(const XSession& x,
                                                      QProcessEnvironment env) const
{
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(x.environment(env));
    p->setProcessChannelMode(QProcess::ForwardedChannels);
    p->start(installed(QStringLiteral("bin/veltritalk")), QStringList());
    return p->waitForStarted(10000) ? std::move(p) : nullptr;
}

// Started from where it was installed, with the build tree out of reach of its environment.
void TestInstall::installedProgramShowsItsWindow()
{
    XSession x(true);
    QVERIFY2(x.isValid(), qPrintable(x.errorString()));
    TestEnv home;
    QProcessEnvironment env = home.processEnvironment();
    env.remove(QStringLiteral("MT_SOURCE_DIR"));
    env.remove(QStringLiteral("MT_BINARY_DIR"));
    auto p = startInstalled(x, env);
    QVERIFY2(p, "the installed program does not start");
    QTRY_VERIFY2_WITH_TIMEOUT(!x.visibleWindows(kTitle).isEmpty(), "no window", kWait);
    QVERIFY(x.windowsOfPid(p->processId()).contains(x.visibleWindows(kTitle).constFirst()));
    ChildProcess::stop(*p, 5000);
}

// The Korean texts travel inside the installed program: the same notice (no system tray) reads
// differently under a Korean system language than under English.
void TestInstall::installedProgramSpeaksKorean()
{
    XSession x(false);
    QVERIFY2(x.isValid(), qPrintable(x.errorString()));
    QList<QImage> boxes;
    for (const QString& lang : {QStringLiteral("C.UTF-8"), QStringLiteral("ko_KR.UTF-8")}) {
        TestEnv home;
        QProcessEnvironment env = home.processEnvironment();
        env.insert(QStringLiteral("LANG"), lang);
        env.remove(QStringLiteral("LC_MESSAGES"));
        env.remove(QStringLiteral("LANGUAGE"));
        auto p = startInstalled(x, env);
        QVERIFY2(p, "the installed program does not start");
        QTRY_VERIFY2_WITH_TIMEOUT(!x.windowsOfPid(p->processId()).isEmpty() &&
                                      !x.visibleWindows(kTitle).isEmpty(),
                                  "no notice", kWait);
        const QString box = x.visibleWindows(kTitle).constFirst();
        QImage picture;
        QTRY_VERIFY2_WITH_TIMEOUT(painted(picture = grabWindow(x, box)), "never painted", kWait);
        boxes << picture;
        ChildProcess::stop(*p, 5000);
    }
    QVERIFY2(boxes.at(0) != boxes.at(1), "the Korean notice looks like the English one");
}

void TestInstall::packageHoldsTheInstallation()
{
    const ToolRun pack = runTool(qEnvironmentVariable("MT_CPACK"),
                                 {"-G", "DEB", "-B", m_packageDir.path(), "--config",
                                  binaryDir() + QStringLiteral("/CPackConfig.cmake")});
    QVERIFY2(pack.exitCode == 0, qPrintable(pack.lines.join('\n')));
    const QStringList debs = QDir(m_packageDir.path()).entryList({"*.deb"}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    m_deb = m_packageDir.filePath(debs.constFirst());

    QProcess contents;
    contents.start(QStringLiteral("dpkg-deb"), {"--fsys-tarfile", m_deb});
    QVERIFY(contents.waitForFinished(60000));
    QTemporaryDir unpacked;
    QProcess tar;
    tar.setWorkingDirectory(unpacked.path());
    tar.start(QStringLiteral("tar"), {"-x"});
    tar.write(contents.readAllStandardOutput());
    tar.closeWriteChannel();
    QVERIFY(tar.waitForFinished(60000));
    QStringList expected;
    for (const QString& file : filesBelow(m_prefix))
        expected << QStringLiteral("usr/") + file;
    QCOMPARE(filesBelow(unpacked.path()), expected);
}

void TestInstall::packageDependsOnItsLibraries_data()
{
    QTest::addColumn<QString>("library");
    QTest::newRow("C library") << "libc6";
    QTest::newRow("widgets") << "libqt5widgets5";
    QTest::newRow("network") << "libqt5network5";
    QTest::newRow("sound") << "libqt5multimedia5";
    QTest::newRow("encrypted store") << "libsqlcipher0";
    QTest::newRow("broker client") << "libmosquitto1";
}

// The dependencies come from the libraries the program links, not from a hand-kept list.
void TestInstall::packageDependsOnItsLibraries()
{
    QFETCH(QString, library);
    QVERIFY2(!m_deb.isEmpty(), "no package was made");
    const ToolRun field = runTool(QStringLiteral("dpkg-deb"), {"--field", m_deb, "Depends"});
    QStringList names;
    for (const QString& dependency : field.lines.join(' ').split(',', Qt::SkipEmptyParts))
        names << dependency.trimmed().section(' ', 0, 0);
    QVERIFY2(names.contains(library), qPrintable(field.lines.join(' ')));
}

// apt resolves the package's dependencies on this system as `apt install ./file.deb` would.
void TestInstall::packageInstallsWithApt()
{
    QVERIFY2(!m_deb.isEmpty(), "no package was made");
    const ToolRun apt = runTool(QStringLiteral("apt-get"), {"install", "--simulate", m_deb});
    QVERIFY2(apt.exitCode == 0, qPrintable(apt.lines.join('\n')));
}

QTEST_MAIN(TestInstall)
#include "tst_install.moc"
