#include "common/childprocess.h"
#include "common/testenv.h"
#include "common/typed.h"
#include "common/xsession.h"

#include <QImage>
#include <QImageReader>
#include <QtTest>

#include <memory>

namespace {
const QString kAppId = QStringLiteral("com.plovex.veltritalk");
const QString kTitle = QStringLiteral("^PLOVEX\\(Chat\\)$");
constexpr int kWait = 20000;

// The lines less those that only say all is well.
struct ToolRun
{
    int exitCode = -1;
    QStringList lines;
    MT_TYPED(ToolRun, exitCode, lines)
};

ToolRun runTool(const QString& program, const QStringList& args,
                const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool finished = p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit;
    ToolRun run{finished ? p.exitCode() : -1, {}};
    if (!finished)
        run.lines << program + QStringLiteral(" did not finish: ") + p.errorString();
    for (const QString& line : QString::fromUtf8(p.readAll()).split('\n', Qt::SkipEmptyParts))
        if (!line.contains(QStringLiteral("Validation was successful")))
            run.lines << line;
    return run;
}

// A key's value in a desktop entry; each entry here has the one group.
QString desktopValue(const QString& path, const QString& key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QRegularExpression('^' + key + QStringLiteral("=(.*)$"),
                              QRegularExpression::MultilineOption)
        .match(QString::fromUtf8(file.readAll()))
        .captured(1);
}

struct IconFile
{
    QString path;
    QSize size;
    MT_TYPED(IconFile, path, size)
};

struct EntryTargets
{
    bool programRuns = false;
    QVector<IconFile> icons; // relative to the theme
    MT_TYPED(EntryTargets, programRuns, icons)
};

QStringList filesBelow(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

// A window that has been painted holds more than one colour.
bool painted(const QImage& image)
{
    const QImage small = image.scaled(32, 32).convertToFormat(QImage::Format_RGB32);
    QImage plain = small;
    plain.fill(small.pixel(0, 0));
    return !image.isNull() && plain != small;
}
} // namespace

class TestInstall : public QObject
{
    Q_OBJECT
    QString installed(const QString& relative) const { return m_prefix + '/' + relative; }
    QTemporaryDir m_destdir;
    QString m_prefix;

private slots:
    void initTestCase()
    {
        QVERIFY(m_destdir.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), m_destdir.path());
        const ToolRun install =
            runTool(qEnvironmentVariable("MT_CMAKE"),
                    {"--install", qEnvironmentVariable("MT_BINARY_DIR"), "--prefix", "/usr"}, env);
        QVERIFY2(install.exitCode == 0, qPrintable(install.lines.join('\n')));
        m_prefix = m_destdir.path() + QStringLiteral("/usr");
    }

    // The metainfo is checked against the installed tree: its id against its file name, its
    // launchable against the desktop entries there. A tree without one has an info line.
    void validatorsAccept_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("desktop entry")
            << "desktop-file-validate"
            << QStringList{installed("share/applications/" + kAppId + ".desktop")};
        QTest::newRow("metainfo") << "appstreamcli"
                                  << QStringList{"validate-tree", "--no-net", "--pedantic",
                                                 m_prefix};
    }

    void validatorsAccept()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QCOMPARE(runTool(tool, args), (ToolRun{0, {}}));
    }

    // The entry's Exec runs from bin; its Icon is in each size folder, at that size.
    void entryFindsProgramAndIcon()
    {
        const QString entry = installed("share/applications/" + kAppId + ".desktop");
        const QFileInfo program(installed("bin/" + desktopValue(entry, QStringLiteral("Exec"))));
        const QString theme = installed(QStringLiteral("share/icons/hicolor"));
        EntryTargets seen{program.isFile() && program.isExecutable(), {}};
        for (const QString& file : filesBelow(theme))
            seen.icons.append({file.section('/', 0, 0) + '/' + QFileInfo(file).completeBaseName(),
                               QImageReader(theme + '/' + file).read().size()});
        EntryTargets expected{true, {}};
        for (const QString& size : QDir(theme).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const int side =
                size == QLatin1String("scalable") ? 256 : size.section('x', 0, 0).toInt();
            expected.icons.append(
                {size + '/' + desktopValue(entry, QStringLiteral("Icon")), {side, side}});
        }
        QVERIFY(!expected.icons.isEmpty());
        QCOMPARE(seen, expected);
    }

    // The autostart entry names the program where it lies, not a build tree.
    void autostartEntryNamesTheInstalledProgram()
    {
        const QString program = installed(QStringLiteral("bin/autorun-check"));
        QVERIFY(QFile::copy(qEnvironmentVariable("MT_AUTORUN_CHILD"), program));
        TestEnv home;
        runTool(program, {}, home.processEnvironment());
        QFile::remove(program);
        const QString entry =
            home.path(QStringLiteral("home/.config/autostart/VeltriTalk.desktop"));
        QCOMPARE(desktopValue(entry, QStringLiteral("Exec")),
                 QLatin1Char('"') + program + QLatin1Char('"'));
        QCOMPARE(runTool(QStringLiteral("desktop-file-validate"), {entry}), (ToolRun{0, {}}));
    }

    // Started from the install, build tree out of reach: its no-tray notice differs in Korean.
    void installedProgramSpeaksKorean()
    {
        XSession x(false);
        QVERIFY2(x.isValid(), qPrintable(x.errorString()));
        QList<QImage> boxes;
        for (const QString& lang : {QStringLiteral("C.UTF-8"), QStringLiteral("ko_KR.UTF-8")}) {
            TestEnv home;
            QProcessEnvironment env = home.processEnvironment();
            env.insert(QStringLiteral("LANG"), lang);
            for (const char* name : {"MT_SOURCE_DIR", "MT_BINARY_DIR", "LC_MESSAGES", "LANGUAGE"})
                env.remove(name);
            auto p = x.start(installed(QStringLiteral("bin/veltritalk")), env);
            QVERIFY2(p, "the installed program does not start");
            QTRY_VERIFY2_WITH_TIMEOUT(!x.visibleWindows(kTitle).isEmpty(), "no notice", kWait);
            const QString box = x.visibleWindows(kTitle).constFirst();
            QImage picture;
            QTRY_VERIFY2_WITH_TIMEOUT(painted(picture = x.grab(box)), "never painted", kWait);
            boxes << picture;
            ChildProcess::stop(*p, 5000);
        }
        QVERIFY2(boxes.at(0) != boxes.at(1), "the Korean notice looks like the English one");
    }

    void packageHoldsTheInstallation()
    {
        QTemporaryDir packageDir;
        const ToolRun pack =
            runTool(qEnvironmentVariable("MT_CPACK"),
                    {"-G", "DEB", "-B", packageDir.path(), "--config",
                     qEnvironmentVariable("MT_BINARY_DIR") + QStringLiteral("/CPackConfig.cmake")});
        QVERIFY2(pack.exitCode == 0, qPrintable(pack.lines.join('\n')));
        const QStringList debs = QDir(packageDir.path()).entryList({"*.deb"}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        const QString deb = packageDir.filePath(debs.constFirst());

        QTemporaryDir unpacked;
        QCOMPARE(runTool(QStringLiteral("dpkg-deb"), {"-x", deb, unpacked.path()}),
                 (ToolRun{0, {}}));
        QStringList expected;
        for (const QString& file : filesBelow(m_prefix))
            expected << QStringLiteral("usr/") + file;
        QCOMPARE(filesBelow(unpacked.path()), expected);

        // The dependencies come from the linked libraries; apt resolves them as for ./file.deb.
        const ToolRun field = runTool(QStringLiteral("dpkg-deb"), {"--field", deb, "Depends"});
        QStringList missing{"libc6", "libqt5widgets5", "libsqlcipher0", "libmosquitto1"};
        for (const QString& dependency : field.lines.join(' ').split(',', Qt::SkipEmptyParts))
            missing.removeAll(dependency.trimmed().section(' ', 0, 0));
        QCOMPARE(missing, QStringList());
        const ToolRun apt = runTool(QStringLiteral("apt-get"), {"install", "--simulate", deb});
        QVERIFY2(apt.exitCode == 0, qPrintable(apt.lines.join('\n')));
    }
};

QTEST_MAIN(TestInstall)
#include "tst_install.moc"
