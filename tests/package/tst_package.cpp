// The Debian package checked as an installer would, without touching the machine: CPack
// makes it from this build tree in a temporary folder; dpkg-deb reads its control fields
// and contents; lintian, desktop-file-validate and appstreamcli judge it; it is unpacked
// into a temporary root and its tools and program run from there on an archive in that
// root; its maintainer scripts decide, in a folder of their own, what a purge may remove.
#include "tests/support/TestPaths.h"
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QHash>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct Run {
    int exitCode = -1; ///< -1 when it did not start, crashed or did not finish
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &args, const QString &workingDir = {},
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    process.start(program, args);
    if (!process.waitForStarted())
        return {-1, {}, program + u" did not start"_s};
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(300000);
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    return {finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QString describe(const Run &result)
{
    return u"exit %1\n%2\n%3"_s.arg(result.exitCode).arg(result.out, result.err);
}

} // namespace

class TestPackage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void fileNameCarriesVersionAndArchitecture();
    void dependsOn_data();
    void dependsOn();
    void holds_data();
    void holds();
    void holdsNothingOfTheBuildItself();
    void descriptionFileIsAConffileNamingTheSharedArchive();
    void noBuildPathInsideAnyFile();
    void lintianFindsNoError();
    void desktopEntryIsValidAndStartsWhereThePicturesAre();
    void metadataIsValidWithTheBuildsScreenshot();
    void everyToolAnswersHelpAndVersionAndHasAManualPage_data();
    void everyToolAnswersHelpAndVersionAndHasAManualPage();
    void installedToolsWorkOnAnArchiveInTheRoot();
    void installedProgramStartsOnTheArchiveInTheRoot();
    void purgeRemovesOnlyAnArchiveWithoutRecordsOrPages_data();
    void purgeRemovesOnlyAnArchiveWithoutRecordsOrPages();

private:
    QString root(const QString &path = {}) const { return m_dir.path() + u"/root"_s + path; }
    QString control(const QString &name) const { return m_dir.path() + u"/control/"_s + name; }
    QString field(const QString &name) const;
    void pointLinksIntoTheRoot();
    void makeArchiveInTheRoot();

    QTemporaryDir m_dir;
    QString m_package;
    bool m_archiveMade = false;
};

void TestPackage::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString out = m_dir.path() + u"/out"_s;
    const Run cpack = run(QStringLiteral(CARTULO_CPACK),
                          {u"-G"_s, u"DEB"_s, u"-B"_s, out, u"--config"_s, QStringLiteral(CARTULO_BUILD_DIR) + u"/CPackConfig.cmake"_s},
                          QStringLiteral(CARTULO_BUILD_DIR));
    QVERIFY2(cpack.exitCode == 0, qPrintable(describe(cpack)));
    const QStringList packages = QDir(out).entryList({u"*.deb"_s}, QDir::Files);
    QCOMPARE(packages.size(), 1);
    m_package = QDir(out).filePath(packages.first());
    for (const auto &[option, folder] : {std::pair{u"-x"_s, root()}, std::pair{u"-e"_s, control({})}}) {
        const Run unpack = run(u"dpkg-deb"_s, {option, m_package, folder});
        QVERIFY2(unpack.exitCode == 0, qPrintable(describe(unpack)));
    }
}

QString TestPackage::field(const QString &name) const
{
    return run(u"dpkg-deb"_s, {u"-f"_s, m_package, name}).out.trimmed();
}

void TestPackage::fileNameCarriesVersionAndArchitecture()
{
    QCOMPARE(field(u"Package"_s), u"cartulo"_s);
    QCOMPARE(field(u"Architecture"_s), u"amd64"_s);
    QCOMPARE(field(u"Version"_s), QStringLiteral(CARTULO_VERSION) + u"-1"_s);
    QCOMPARE(QFileInfo(m_package).fileName(), u"cartulo_%1-1_amd64.deb"_s.arg(QStringLiteral(CARTULO_VERSION)));
    // An extended description, not only the summary line.
    QVERIFY(field(u"Description"_s).count(u'\n') >= 5);
}

void TestPackage::dependsOn_data()
{
    QTest::addColumn<QString>("package");
    // Data and plugins the linker cannot name, then libraries the programs link.
    for (const char *name : {"tesseract-ocr-por", "libtesseract5", "qt6-translations-l10n", "adduser",
                             "libqt6widgets6", "libqt6gui6", "libqt6printsupport6", "libsqlite3-0",
                             "libjpeg62-turbo", "libturbojpeg0", "libsane1", "libpq5", "libqpdf29",
                             "libpoppler-qt6-3"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestPackage::dependsOn()
{
    QFETCH(QString, package);
    QSet<QString> names;
    for (const QString &dependency : field(u"Depends"_s).split(u',', Qt::SkipEmptyParts))
        names.insert(dependency.trimmed().section(u' ', 0, 0));
    QVERIFY2(names.contains(package), qPrintable(field(u"Depends"_s)));
}

void TestPackage::holds_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("linkTarget"); // empty: a regular file
    const auto file = [](const QString &path) { QTest::newRow(qPrintable(path)) << path << QString(); };
    const auto link = [](const QString &path, const QString &target) {
        QTest::newRow(qPrintable(path)) << path << target;
    };
    file(u"/usr/lib/cartulo/cartulo"_s);
    link(u"/usr/bin/cartulo"_s, u"../lib/cartulo/cartulo"_s);
    link(u"/usr/lib/cartulo/cartulo.udl"_s, u"/etc/cartulo/cartulo.udl"_s);
    link(u"/usr/lib/cartulo/dados"_s, u"/var/lib/cartulo"_s);
    link(u"/etc/cartulo/dados"_s, u"/var/lib/cartulo"_s);
    file(u"/etc/cartulo/cartulo.udl"_s);
    for (const char *tool : {"cartulo-sql", "cartulo-mkdb", "cartulo-copy", "cartulo-gen"})
        file(u"/usr/bin/"_s + QLatin1StringView(tool));
    file(u"/usr/share/cartulo/img/ctlo.rcc"_s);
    file(u"/usr/share/cartulo/capturas/janela-principal.png"_s);
    file(u"/usr/share/applications/io.github.cartulo.Cartulo.desktop"_s);
    file(u"/usr/share/metainfo/io.github.cartulo.Cartulo.metainfo.xml"_s);
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        file(u"/usr/share/icons/hicolor/%1x%1/apps/cartulo.png"_s.arg(size));
    file(u"/usr/share/icons/hicolor/scalable/apps/cartulo.svg"_s);
    file(u"/usr/share/doc/cartulo/copyright"_s);
    file(u"/usr/share/doc/cartulo/changelog.Debian.gz"_s);
}

void TestPackage::holds()
{
    QFETCH(QString, path);
    QFETCH(QString, linkTarget);
    const QFileInfo entry(root(path));
    if (linkTarget.isEmpty()) {
        QVERIFY2(entry.isFile() && !entry.isSymLink(), qPrintable(path));
        return;
    }
    QVERIFY2(entry.isSymLink(), qPrintable(path));
    QCOMPARE(QFile::symLinkTarget(root(path)).isEmpty(), false);
    QCOMPARE(QString::fromUtf8(run(u"readlink"_s, {root(path)}).out.trimmed().toUtf8()), linkTarget);
}

void TestPackage::holdsNothingOfTheBuildItself()
{
    // The archive is made at installation, never shipped; tests, benchmarks and the build's
    // own painters stay out.
    QVERIFY(!QFileInfo::exists(root(u"/var"_s)));
    QDirIterator entries(root(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString name = QFileInfo(entries.next()).fileName();
        for (const char *foreign : {"tst_", "bench", "artgen", "desktop-assets"})
            QVERIFY2(!name.contains(QLatin1StringView(foreign)), qPrintable(entries.filePath()));
        QVERIFY2(!name.endsWith(u".a"_s) && !name.endsWith(u".o"_s),
                     qPrintable(entries.filePath()));
    }
}

void TestPackage::descriptionFileIsAConffileNamingTheSharedArchive()
{
    const QStringList conffiles = QString::fromUtf8(readFile(control(u"conffiles"_s))).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(conffiles, QStringList{u"/etc/cartulo/cartulo.udl"_s});
    const QString description = QString::fromUtf8(readFile(root(u"/etc/cartulo/cartulo.udl"_s)));
    QVERIFY2(description.startsWith(u"[oledb]\n"_s), qPrintable(description));
    QVERIFY2(description.contains(u"\nProvider=SQLite;Data Source=/var/lib/cartulo/cartulo.db\n"_s), qPrintable(description));
    for (const char *script : {"postinst", "prerm", "postrm"})
        QVERIFY2(QFileInfo(control(QLatin1StringView(script))).isExecutable(), script);
}

void TestPackage::noBuildPathInsideAnyFile()
{
    const QList<QByteArray> buildPaths = {QByteArrayLiteral(CARTULO_BUILD_DIR), testsupport::sourceDir().toUtf8()};
    int files = 0;
    QDirIterator entries(root(), QDir::Files | QDir::NoSymLinks | QDir::Hidden, QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        const QByteArray content = readFile(path);
        for (const QByteArray &buildPath : buildPaths)
            QVERIFY2(!content.contains(buildPath), qPrintable(path + u" names "_s + QString::fromUtf8(buildPath)));
        ++files;
    }
    QVERIFY(files > 20);
}

void TestPackage::lintianFindsNoError()
{
    const Run lintian = run(u"lintian"_s, {u"--fail-on"_s, u"error"_s, m_package});
    QVERIFY2(lintian.exitCode == 0, qPrintable(describe(lintian)));
    QVERIFY2(!lintian.out.contains(u"\nE: "_s) && !lintian.out.startsWith(u"E: "_s), qPrintable(lintian.out));
    if (!lintian.out.trimmed().isEmpty())
        qInfo("lintian:\n%s", qPrintable(lintian.out));
}

void TestPackage::desktopEntryIsValidAndStartsWhereThePicturesAre()
{
    const QString entry = root(u"/usr/share/applications/io.github.cartulo.Cartulo.desktop"_s);
    const Run validate = run(u"desktop-file-validate"_s, {entry});
    QVERIFY2(validate.exitCode == 0 && validate.out.trimmed().isEmpty(), qPrintable(describe(validate)));

    QHash<QString, QString> fields;
    for (const QString &line : QString::fromUtf8(readFile(entry)).split(u'\n')) {
        if (line.contains(u'=') && !line.startsWith(u'#'))
            fields.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
    }
    QCOMPARE(fields.value(u"Name"_s), u"Cartulo"_s);
    QCOMPARE(fields.value(u"GenericName"_s), u"Arquivo de documentos"_s);
    QVERIFY(fields.value(u"Comment"_s).startsWith(u"Arquivo de documentos"_s));
    QCOMPARE(fields.value(u"Categories"_s), u"Office;"_s);
    QCOMPARE(fields.value(u"Exec"_s), u"cartulo"_s);
    QVERIFY(QFileInfo(root(u"/usr/bin/cartulo"_s)).isExecutable());
    // The picture library is looked up in the working folder the menu starts the program in.
    const QString path = fields.value(u"Path"_s);
    QVERIFY2(QFileInfo::exists(root(path + u"/img/ctlo.rcc"_s)), qPrintable(path));
    QVERIFY(QFileInfo::exists(root(u"/usr/share/icons/hicolor/48x48/apps/"_s + fields.value(u"Icon"_s) + u".png"_s)));
}

void TestPackage::metadataIsValidWithTheBuildsScreenshot()
{
    const QString metadata = root(u"/usr/share/metainfo/io.github.cartulo.Cartulo.metainfo.xml"_s);
    const Run validate = run(u"appstreamcli"_s, {u"validate"_s, u"--no-net"_s, metadata});
    QVERIFY2(validate.exitCode == 0, qPrintable(describe(validate)));
    const QByteArray xml = readFile(metadata);
    QVERIFY(xml.contains("<launchable type=\"desktop-id\">io.github.cartulo.Cartulo.desktop</launchable>"));
    QVERIFY(xml.contains("/capturas/janela-principal.png</image>"));
    QVERIFY(xml.contains("<lang percentage=\"100\">pt_BR</lang>"));

    // The real window, painted: its size, and more than a few colours.
    const QImage screenshot(root(u"/usr/share/cartulo/capturas/janela-principal.png"_s));
    QVERIFY(!screenshot.isNull());
    QVERIFY2(screenshot.width() >= 640 && screenshot.height() >= 480,
             qPrintable(u"%1x%2"_s.arg(screenshot.width()).arg(screenshot.height())));
    QSet<QRgb> colours;
    for (int y = 0; y < screenshot.height(); y += 7)
        for (int x = 0; x < screenshot.width(); x += 7)
            colours.insert(screenshot.pixel(x, y));
    QVERIFY2(colours.size() > 20, qPrintable(QString::number(colours.size())));
}

void TestPackage::everyToolAnswersHelpAndVersionAndHasAManualPage_data()
{
    QTest::addColumn<QString>("tool");
    const QStringList tools = QDir(root(u"/usr/bin"_s)).entryList({u"cartulo*"_s}, QDir::Files);
    QVERIFY(tools.size() >= 5);
    for (const QString &tool : tools)
        QTest::newRow(qPrintable(tool)) << tool;
}

void TestPackage::everyToolAnswersHelpAndVersionAndHasAManualPage()
{
    QFETCH(QString, tool);
    QVERIFY2(QFileInfo::exists(root(u"/usr/share/man/man1/"_s + tool + u".1.gz"_s)), qPrintable(tool));
    if (tool == u"cartulo"_s)
        return; // the program takes no options
    const QString program = root(u"/usr/bin/"_s + tool);
    const Run help = run(program, {u"--help"_s});
    QVERIFY2(help.exitCode == 0 && help.out.startsWith(u"usage: "_s + tool), qPrintable(describe(help)));
    const Run version = run(program, {u"--version"_s});
    QVERIFY2(version.exitCode == 0, qPrintable(describe(version)));
    QCOMPARE(version.out, tool + u" (Cartulo) "_s + QStringLiteral(CARTULO_VERSION) + u'\n');
}

// The package's links name the system's /etc and /var/lib; in the unpacked root they are
// pointed at the root's own, so nothing outside the temporary folder is read or written.
void TestPackage::pointLinksIntoTheRoot()
{
    QVERIFY(QDir().mkpath(root(u"/var/lib/cartulo/laudas"_s)));
    for (const auto &[link, target] : {std::pair{u"/usr/lib/cartulo/cartulo.udl"_s, u"/etc/cartulo/cartulo.udl"_s},
                                       std::pair{u"/usr/lib/cartulo/dados"_s, u"/var/lib/cartulo"_s},
                                       std::pair{u"/etc/cartulo/dados"_s, u"/var/lib/cartulo"_s}}) {
        QFile::remove(root(link));
        QVERIFY(QFile::link(root(target), root(link)));
    }
    QByteArray description = readFile(root(u"/etc/cartulo/cartulo.udl"_s));
    description.replace("Data Source=/var/lib/cartulo/", QByteArray("Data Source=" + root(u"/var/lib/cartulo/"_s).toUtf8()));
    QVERIFY(writeFile(root(u"/etc/cartulo/cartulo.udl"_s), description));
}

// As the package's installation does: an empty archive made by the installed cartulo-mkdb.
void TestPackage::makeArchiveInTheRoot()
{
    if (m_archiveMade)
        return;
    pointLinksIntoTheRoot();
    const Run mkdb = run(root(u"/usr/bin/cartulo-mkdb"_s), {root(u"/var/lib/cartulo/cartulo.db"_s)});
    QVERIFY2(mkdb.exitCode == 0, qPrintable(describe(mkdb)));
    m_archiveMade = true;
}

void TestPackage::installedToolsWorkOnAnArchiveInTheRoot()
{
    makeArchiveInTheRoot();
    const QString description = root(u"/etc/cartulo/cartulo.udl"_s);
    const QString sql = root(u"/usr/bin/cartulo-sql"_s);
    const Run insert = run(sql, {description, u"insert into processo (cod, descricao) values (\"00001\", \"Licitação\")"_s});
    QVERIFY2(insert.exitCode == 0, qPrintable(describe(insert)));
    const Run select = run(sql, {description, u"select cod, descricao from processo"_s});
    QVERIFY2(select.exitCode == 0, qPrintable(describe(select)));
    QCOMPARE(select.out, u"cod\tdescricao\n00001\tLicitação\n"_s);
    // The same archive through the program's folder, as the program reaches it.
    const Run again = run(sql, {root(u"/usr/lib/cartulo/cartulo.udl"_s), u"select count(*) as n from processo"_s});
    QCOMPARE(again.out, u"n\n1\n"_s);
}

void TestPackage::installedProgramStartsOnTheArchiveInTheRoot()
{
    makeArchiveInTheRoot();
    // Without a description file in its folder the program writes one there, naming the
    // archive under its folder's dados/: the link to the shared archive.
    const QString description = root(u"/usr/lib/cartulo/cartulo.udl"_s);
    QVERIFY(QFile::remove(description));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    environment.insert(u"QT_LOGGING_RULES"_s, u"cartulo.startup.debug=true"_s);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(root(u"/usr/share/cartulo"_s));
    program.start(root(u"/usr/bin/cartulo"_s), {});
    QVERIFY(program.waitForStarted());
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += program.readAllStandardError(), said.contains("running")
                              || program.state() == QProcess::NotRunning), 120000);
    QVERIFY2(program.state() == QProcess::Running, said.constData());
    program.terminate(); // a session's end: the program closes the archive and ends normally
    QVERIFY(program.waitForFinished(120000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY2(program.exitCode() == 0, QByteArray(said + program.readAllStandardError()).constData());

    const QString written = QString::fromUtf8(readFile(description));
    QVERIFY2(written.contains(u"Data Source="_s + root(u"/usr/lib/cartulo/dados/cartulo.db"_s)), qPrintable(written));
    QVERIFY(QFile::remove(description));
    QVERIFY(QFile::link(root(u"/etc/cartulo/cartulo.udl"_s), description));
}

void TestPackage::purgeRemovesOnlyAnArchiveWithoutRecordsOrPages_data()
{
    QTest::addColumn<QString>("record");   // a statement run on the archive, or none
    QTest::addColumn<QString>("pageFile"); // a page under laudas/, or none
    QTest::addColumn<bool>("kept");
    QTest::newRow("empty archive") << QString() << QString() << false;
    QTest::newRow("a process") << u"insert into processo (cod) values (\"00007\")"_s << QString() << true;
    QTest::newRow("a document type") << u"insert into tipo_arq (cod, descricao) values (\"00001\", \"Ofício\")"_s << QString() << true;
    QTest::newRow("a page only") << QString() << u"0000700003001.jpg"_s << true;
    QTest::newRow("a page moved aside") << QString() << u"excluidas/0000700003001.jpg"_s << true;
}

void TestPackage::purgeRemovesOnlyAnArchiveWithoutRecordsOrPages()
{
    QFETCH(QString, record);
    QFETCH(QString, pageFile);
    QFETCH(bool, kept);

    // The package's own scripts, on an archive folder of the test's instead of /var/lib.
    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString archive = work.path() + u"/cartulo"_s;
    QVERIFY(QDir().mkpath(archive + u"/laudas/excluidas"_s));
    for (const char *name : {"prerm", "postrm"}) {
        QByteArray script = readFile(control(QLatin1StringView(name)));
        QVERIFY(script.contains("archive=/var/lib/cartulo\n"));
        script.replace("archive=/var/lib/cartulo\n", QByteArray("archive=" + archive.toUtf8() + '\n'));
        QVERIFY(writeFile(work.filePath(QLatin1StringView(name)), script));
    }
    const Run mkdb = run(root(u"/usr/bin/cartulo-mkdb"_s), {archive + u"/cartulo.db"_s});
    QVERIFY2(mkdb.exitCode == 0, qPrintable(describe(mkdb)));
    if (!record.isEmpty()) {
        const QString description = work.filePath(u"cartulo.udl"_s);
        QVERIFY(writeFile(description, "[oledb]\nProvider=SQLite;Data Source=" + archive.toUtf8() + "/cartulo.db\n"));
        const Run insert = run(root(u"/usr/bin/cartulo-sql"_s), {description, record});
        QVERIFY2(insert.exitCode == 0, qPrintable(describe(insert)));
    }
    if (!pageFile.isEmpty())
        QVERIFY(writeFile(archive + u"/laudas/"_s + pageFile, "\xff\xd8\xff\xd9"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PATH"_s, root(u"/usr/bin:"_s) + environment.value(u"PATH"_s));
    const Run prerm = run(u"sh"_s, {work.filePath(u"prerm"_s), u"remove"_s}, {}, environment);
    QVERIFY2(prerm.exitCode == 0, qPrintable(describe(prerm)));
    const Run postrm = run(u"sh"_s, {work.filePath(u"postrm"_s), u"purge"_s}, {}, environment);
    QVERIFY2(postrm.exitCode == 0, qPrintable(describe(postrm)));

    QCOMPARE(QFileInfo::exists(archive), kept);
    if (kept) {
        QVERIFY(QFileInfo::exists(archive + u"/cartulo.db"_s));
        QVERIFY2(postrm.err.contains(u"foi mantido"_s), qPrintable(postrm.err));
    }
}

QTEST_MAIN(TestPackage)
#include "tst_package.moc"
