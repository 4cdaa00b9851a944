// Several workstations on one archive, each a real main window: inclusions under way at
// once, a code stored meanwhile, a cancelled inclusion, edits of one record, and two
// separate programs including documents and adding pages together. Every case runs on a
// file archive and on the tests' private server.
#include "db/Connection.h"
#include "editing/JpegImage.h"
#include "pages/PageStore.h"
#include "tests/documents/DocumentWindow.h"
#include "tests/support/ProviderArchive.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;
using testsupport::ProviderArchive;

namespace {

constexpr QByteArrayView kLabelMark = "cartulo-test-page:";

/// A real JPEG carrying `label` in a comment segment, so every stored page tells whose it is.
QByteArray labelledPage(const QString &label)
{
    const QByteArray jpeg = jpegBytes(int(qHash(label) % 1000));
    const QByteArray text = kLabelMark.toByteArray() + label.toUtf8();
    const int length = int(text.size()) + 2;
    QByteArray comment("\xFF\xFE", 2);
    comment.append(char(length >> 8)).append(char(length & 0xFF)).append(text);
    // After the JFIF header, which must come first.
    qsizetype at = 2;
    if (quint8(jpeg[2]) == 0xFF && quint8(jpeg[3]) == 0xE0)
        at = 4 + (quint8(jpeg[4]) << 8 | quint8(jpeg[5]));
    return jpeg.left(at) + comment + jpeg.mid(at);
}

QString labelOf(const QByteArray &page)
{
    const qsizetype at = page.indexOf(kLabelMark);
    if (at < 0)
        return u"<sem rótulo>"_s;
    const qsizetype from = at + kLabelMark.size();
    const int length = (quint8(page[at - 2]) << 8 | quint8(page[at - 1])) - 2 - int(kLabelMark.size());
    return QString::fromUtf8(page.mid(from, length));
}

/// The labels of a document's pages, in page order, as the archive holds them now.
QStringList pageLabels(const ProviderArchive &archive, db::Connection &connection, const QString &document)
{
    const auto store = pages::openPageStore(archive.programDir(), &connection);
    QStringList labels;
    for (const QString &name : store->listPages({u"00001"_s, document}))
        labels << labelOf(store->pageBytes(name).value_or(QByteArray()));
    return labels;
}

QStringList archiveSeed()
{
    return {u"Insert Into tipo_arq (cod,descricao) VALUES (\"00001\",\"OFÍCIO\")"_s, processRow(u"00001"_s),
            documentRow(u"00001"_s, u"00001"_s, u"0"_s, u"PASTA COMUM"_s)};
}

/// One workstation: a main window on the shared archive with process 00001 open.
class Workstation {
public:
    explicit Workstation(const QString &programDir)
        : window(testsupport::ProgramWindowOptions{.seed = {},
                                                  .show = testsupport::ProgramWindowOptions::Show::Exposed,
                                                  .sharedProgramDir = programDir})
    {
        if (QTest::currentTestFailed())
            return;
        window.openProcess(u"00001"_s);
    }

    TFrameDocumento &screen() const { return *window.screen; }
    QPushButton *incButton() const { return window.panelButton("BtnInc"); }

    void startInclusion(const QString &description)
    {
        DocumentWindow::click(incButton());
        QCOMPARE(incButton()->text(), u"Confirmar"_s);
        DocumentWindow::type(screen().EdtDesc, description);
    }
    /// Adds a page through "&Adicionar >>", as a file chosen in the dialog.
    void addPage(editing::ScriptedPrompt &ui, const QString &label)
    {
        const QString path = m_files.filePath(label + u".jpg"_s);
        window.writeFile(path, labelledPage(label));
        ui.answerFiles({path});
        DocumentWindow::click(screen().BtnAddArq);
    }
    void confirm(editing::ScriptedPrompt &ui)
    {
        ui.answerQuestion(true);
        DocumentWindow::click(incButton());
        QCOMPARE(incButton()->text(), u"Incluir"_s);
    }

    DocumentWindow window;

private:
    QTemporaryDir m_files;
};

} // namespace

class TestInclusion : public QObject {
    Q_OBJECT

    std::unique_ptr<ProviderArchive> archive;

    void makeArchive()
    {
        QFETCH(db::Provider, provider);
        archive = std::make_unique<ProviderArchive>(provider);
        for (const QString &sql : archiveSeed())
            archive->connection().execute(sql);
    }
    QStringList rows(const QString &sql) const
    {
        db::Query query(&archive->connection());
        query.setSql(sql);
        query.open();
        QStringList result;
        for (query.first(); !query.isEmpty() && !query.eof(); query.next())
            result << query.asText(0) + u'|' + query.asText(1);
        return result;
    }
    QStringList documents() const { return rows(u"select cod,descricao from documento order by cod"_s); }
    QStringList labels(const QString &document) const
    {
        return pageLabels(*archive, archive->connection(), document);
    }

private slots:
    void init() { makeArchive(); }
    void cleanup() { archive.reset(); }

    void inclusionsUnderWayGetCodesOfTheirOwn_data() { providers(); }
    void inclusionsUnderWayGetCodesOfTheirOwn()
    {
        Workstation first(archive->programDir());
        Workstation second(archive->programDir());
        editing::ScriptedPrompt &ui = *second.window.ui; // the prompt installed last answers

        first.startInclusion(u"PRIMEIRA"_s);
        second.startInclusion(u"SEGUNDA"_s);
        QCOMPARE(first.screen().EdtCod->text(), u"00002"_s);
        QCOMPARE(second.screen().EdtCod->text(), u"00003"_s); // 00002 is held by the first
        first.addPage(ui, u"a1"_s);
        second.addPage(ui, u"b1"_s);
        first.addPage(ui, u"a2"_s);
        second.confirm(ui);
        first.confirm(ui);

        QCOMPARE(documents(), (QStringList{u"00001|PASTA COMUM"_s, u"00002|PRIMEIRA"_s, u"00003|SEGUNDA"_s}));
        QCOMPARE(labels(u"00002"_s), (QStringList{u"a1"_s, u"a2"_s}));
        QCOMPARE(labels(u"00003"_s), (QStringList{u"b1"_s}));
        QVERIFY(ui.callsOf(editing::ScriptedPrompt::Kind::Message).isEmpty());
        QCOMPARE(first.window.errors + second.window.errors, QStringList());
    }

    // A document stored under the inclusion's code by a client that holds no codes (a
    // statement typed in cartulo-sql): the inclusion and its pages go to the next free code.
    void codeStoredMeanwhileGivesTheNextFreeCode_data() { providers(); }
    void codeStoredMeanwhileGivesTheNextFreeCode()
    {
        Workstation station(archive->programDir());
        editing::ScriptedPrompt &ui = *station.window.ui;
        station.startInclusion(u"NOVO"_s);
        QCOMPARE(station.screen().EdtCod->text(), u"00002"_s);
        station.addPage(ui, u"n1"_s);
        station.addPage(ui, u"n2"_s);
        archive->connection().execute(documentRow(u"00001"_s, u"00002"_s, u"0"_s, u"DE OUTRA ESTAÇÃO"_s));
        station.confirm(ui);

        QCOMPARE(documents(), (QStringList{u"00001|PASTA COMUM"_s, u"00002|DE OUTRA ESTAÇÃO"_s, u"00003|NOVO"_s}));
        QCOMPARE(labels(u"00002"_s), QStringList());
        QCOMPARE(labels(u"00003"_s), (QStringList{u"n1"_s, u"n2"_s}));
        const auto messages = ui.callsOf(editing::ScriptedPrompt::Kind::Message);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].text.contains(u"00002"_s) && messages[0].text.contains(u"código 00003"_s),
                 qPrintable(messages[0].text));
        QCOMPARE(station.window.errors, QStringList());
    }

    void cancelledInclusionFreesItsCode_data() { providers(); }
    void cancelledInclusionFreesItsCode()
    {
        Workstation first(archive->programDir());
        Workstation second(archive->programDir());
        editing::ScriptedPrompt &ui = *second.window.ui;
        first.startInclusion(u"DESISTIDA"_s);
        first.addPage(ui, u"c1"_s);
        DocumentWindow::click(first.window.panelButton("BtnSair")); // "Cancelar"
        QCOMPARE(first.incButton()->text(), u"Incluir"_s);

        second.startInclusion(u"OUTRA"_s);
        QCOMPARE(second.screen().EdtCod->text(), u"00002"_s);
        QCOMPARE(second.screen().LBoxLaudas->count(), 0); // the cancelled page went aside
        second.confirm(ui);
        QCOMPARE(labels(u"00002"_s), QStringList());
    }

    // Both save the same document; the one saved last is what the archive keeps.
    void lastSaveWins_data() { providers(); }
    void lastSaveWins()
    {
        Workstation first(archive->programDir());
        Workstation second(archive->programDir());
        for (Workstation *station : {&first, &second}) {
            DocumentWindow::click(station->window.panelButton("BtnAlt"));
            DocumentWindow::retype(station->screen().EdtDesc, station == &first ? u"PRIMEIRA"_s : u"SEGUNDA"_s);
        }
        DocumentWindow::click(first.window.panelButton("BtnAlt"));
        DocumentWindow::click(second.window.panelButton("BtnAlt"));
        QCOMPARE(documents(), QStringList{u"00001|SEGUNDA"_s});
    }

    // Two separate programs: each includes documents with two pages each and adds pages to
    // one shared document, at the same time. Afterwards every page is where it belongs,
    // once, numbered without a gap.
    void twoProgramsAtOnce_data() { providers(); }
    void twoProgramsAtOnce()
    {
        constexpr int kInclusions = 6;
        QTemporaryDir rendezvous;
        std::vector<std::unique_ptr<QProcess>> programs;
        for (int station = 1; station <= 2; ++station) {
            auto program = std::make_unique<QProcess>();
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(u"CARTULO_WORKSTATION"_s, QString::number(station));
            environment.insert(u"CARTULO_WORKSTATION_DIR"_s, archive->programDir());
            environment.insert(u"CARTULO_WORKSTATION_MEET"_s, rendezvous.path());
            environment.insert(u"CARTULO_WORKSTATION_COUNT"_s, QString::number(kInclusions));
            program->setProcessEnvironment(environment);
            program->setProcessChannelMode(QProcess::ForwardedChannels);
            program->start(QCoreApplication::applicationFilePath(), {});
            QVERIFY(program->waitForStarted());
            programs.push_back(std::move(program));
        }
        for (const auto &program : programs) {
            QVERIFY2(program->waitForFinished(240000), "a workstation did not finish");
            QCOMPARE(program->exitStatus(), QProcess::NormalExit);
            QCOMPARE(program->exitCode(), 0);
        }

        QStringList expectedDocuments{u"00001|PASTA COMUM"_s};
        QStringList shared;
        const QStringList stored = documents();
        QCOMPARE(stored.size(), 1 + 2 * kInclusions);
        for (const QString &row : stored.mid(1)) {
            const QString document = row.section(u'|', 0, 0);
            const QString description = row.section(u'|', 1);
            QCOMPARE(labels(document), (QStringList{description + u"-p1"_s, description + u"-p2"_s}));
        }
        for (int station = 1; station <= 2; ++station)
            for (int n = 1; n <= kInclusions; ++n) {
                QVERIFY2(stored.filter(u"|W%1-%2"_s.arg(station).arg(n)).size() == 1, "a document missing or doubled");
                shared << u"W%1-%2-comum"_s.arg(station).arg(n);
            }
        QStringList sharedPages = labels(u"00001"_s);
        QCOMPARE(sharedPages.size(), 2 * kInclusions);
        sharedPages.sort();
        shared.sort();
        QCOMPARE(sharedPages, shared);
    }

private:
    static void providers()
    {
        QTest::addColumn<db::Provider>("provider");
        for (db::Provider provider : testsupport::allProviders())
            QTest::newRow(testsupport::providerName(provider)) << provider;
    }
};

/// The program a workstation of twoProgramsAtOnce runs: waits until the other one is
/// up, then includes documents ("W<station>-<n>", pages "...-p1", "...-p2") and adds a
/// page ("...-comum") to document 00001 after each.
class WorkstationProgram : public QObject {
    Q_OBJECT
private slots:
    void run()
    {
        const QString station = qEnvironmentVariable("CARTULO_WORKSTATION");
        const int count = qEnvironmentVariableIntValue("CARTULO_WORKSTATION_COUNT");
        const QDir meet(qEnvironmentVariable("CARTULO_WORKSTATION_MEET"));
        Workstation workstation(qEnvironmentVariable("CARTULO_WORKSTATION_DIR"));
        QVERIFY(!QTest::currentTestFailed());
        editing::ScriptedPrompt &ui = *workstation.window.ui;

        QFile(meet.filePath(station)).open(QIODevice::WriteOnly);
        QTRY_VERIFY_WITH_TIMEOUT(meet.entryList(QDir::Files).size() == 2, 60000);

        const auto store = pages::openPageStore(workstation.window.programDir(), workstation.window->ConnArq);
        for (int n = 1; n <= count; ++n) {
            const QString name = u"W%1-%2"_s.arg(station).arg(n);
            workstation.startInclusion(name);
            workstation.addPage(ui, name + u"-p1"_s);
            QTest::qWait(5);
            workstation.addPage(ui, name + u"-p2"_s);
            workstation.confirm(ui);
            store->appendBytes({u"00001"_s, u"00001"_s}, labelledPage(name + u"-comum"_s));
        }
        QVERIFY2(ui.callsOf(editing::ScriptedPrompt::Kind::Message).isEmpty(),
                 qPrintable(ui.callsOf(editing::ScriptedPrompt::Kind::Message).value(0).text));
        QCOMPARE(workstation.window.errors, QStringList());
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("CARTULO_WORKSTATION")) {
        WorkstationProgram program;
        return QTest::qExec(&program, argc, argv);
    }
    TestInclusion test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_inclusion_pg.moc"
