// The program follows the server's rights: each group's user sees what it may not change
// locked, with why; a right taken away while the program runs gives a message and leaves
// the screen and the archive as they were.
#include "db/pg/PgConnection.h"
#include "db/pg/PgRoles.h"
#include "editing/HistoryDialog.h"
#include "editing/JpegImage.h"
#include "editing/Prompt.h"
#include "editing/painel.h"
#include "registers/UntFrameOrgao.h"
#include "registers/UntFrameProcesso.h"
#include "registers/UntFrameTpdoc.h"
#include "tests/documents/DocumentWindow.h"
#include "tests/support/ProviderArchive.h"

#include <QStandardItemModel>
#include <QTest>

using namespace Qt::StringLiterals;
using testsupport::PgTestRole;
using testsupport::ProviderArchive;

namespace {

// A program folder whose description file logs in as `role` on the archive's database.
struct RoleProgramFolder {
    QTemporaryDir dir;
    RoleProgramFolder(const ProviderArchive &archive, const QString &role)
    {
        QDir(dir.path()).mkpath(u"dados/laudas"_s);
        QFile file(dir.filePath(u"cartulo.udl"_s));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write the description file");
        file.write("[oledb]\n; Everything after this line is an OLE DB initstring\n"
                   + archive.serverDatabase()->descriptionLine(role).toUtf8() + '\n');
    }
};

struct Locked {
    QString name;
    QAbstractButton *button;
};

QList<Locked> editingControls(TfrmCartulo &w)
{
    TFrameDocumento &doc = *w.FrameDocumento1;
    return {
        {u"processo incluir"_s, w.FrameProcesso1->PnlProcesso->BtnInc},
        {u"processo editar"_s, w.FrameProcesso1->PnlProcesso->BtnAlt},
        {u"processo excluir"_s, w.FrameProcesso1->PnlProcesso->BtnDel},
        {u"documento incluir"_s, doc.PnlDocumento->BtnInc},
        {u"documento editar"_s, doc.PnlDocumento->BtnAlt},
        {u"documento excluir"_s, doc.PnlDocumento->BtnDel},
        {u"página adquirir"_s, doc.BtnScan},
        {u"página adicionar"_s, doc.BtnAddArq},
        {u"página remover"_s, doc.BtnDelArq},
        {u"tipo incluir"_s, w.FrameTpDoc1->PnlTpDoc->BtnInc},
        {u"tipo excluir"_s, w.FrameTpDoc1->PnlTpDoc->BtnDel},
        {u"órgão editar"_s, w.FrameOrgao1->PnlOrg->BtnAlt},
    };
}

QStringList seed()
{
    return {u"INSERT INTO processo (cod, descricao) VALUES ('00001', 'P')"_s,
            u"INSERT INTO documento (cod, processo, descricao) VALUES ('00001', '00001', 'ANTES')"_s};
}

} // namespace

class TestPermissions : public QObject {
    Q_OBJECT
private slots:
    void controlsFollowTheGroup_data();
    void controlsFollowTheGroup();
    void rightTakenAwayMeanwhile();
    void pageAndDeletionRightsTakenAwayMeanwhile_data();
    void pageAndDeletionRightsTakenAwayMeanwhile();
};

void TestPermissions::controlsFollowTheGroup_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QStringList>("forbidden");
    const QStringList pages{u"página adquirir"_s, u"página adicionar"_s, u"página remover"_s};
    const QStringList admin{u"tipo incluir"_s, u"tipo excluir"_s, u"órgão editar"_s};
    QTest::addRow("consulta") << db::pg::roles::kConsulta.toString()
                              << (QStringList{u"processo incluir"_s, u"processo editar"_s, u"processo excluir"_s,
                                              u"documento incluir"_s, u"documento editar"_s,
                                              u"documento excluir"_s}
                                  + pages + admin);
    QTest::addRow("arquivista") << db::pg::roles::kArquivista.toString()
                                << (QStringList{u"processo excluir"_s, u"documento excluir"_s} + admin);
    QTest::addRow("admin") << db::pg::roles::kAdmin.toString() << QStringList{};
}

void TestPermissions::controlsFollowTheGroup()
{
    QFETCH(QString, group);
    QFETCH(QStringList, forbidden);
    ProviderArchive archive(db::Provider::PostgreSQL);
    for (const QString &sql : seed())
        archive.connection().server()->exec(sql);
    PgTestRole user(u"LOGIN IN ROLE %1"_s.arg(group));
    RoleProgramFolder folder(archive, user.name());
    DocumentWindow w(testsupport::ProgramWindowOptions{.seed = {}, .show = testsupport::ProgramWindowOptions::Show::Exposed,
                                                       .sharedProgramDir = folder.dir.path()});
    w.openProcess(u"00001"_s);
    // Including a document is what enables the page commands for those who may.
    if (!forbidden.contains(u"documento incluir"_s)) {
        QTest::mouseClick(w.panelButton("BtnInc"), Qt::LeftButton);
        QCOMPARE(w.panelButton("BtnInc")->text(), u"Confirmar"_s);
    }
    for (const Locked &control : editingControls(*w.window)) {
        const bool locked = forbidden.contains(control.name);
        if (control.name.startsWith(u"documento"_s) && !forbidden.contains(u"documento incluir"_s))
            continue; // the inclusion under way decides these
        QVERIFY2(control.button->toolTip().startsWith(u"Sem permissão para "_s) == locked, qPrintable(control.name));
        if (locked)
            QVERIFY2(!control.button->isEnabled(), qPrintable(control.name));
        else if (control.name.startsWith(u"página"_s))
            QVERIFY2(control.button->isEnabled(), qPrintable(control.name));
    }
    // Every group reads the history of what it sees.
    if (forbidden.contains(u"documento incluir"_s)) {
        QVERIFY(w.screen->BtnHistorico->isEnabled());
        QTest::mouseClick(w.screen->BtnHistorico, Qt::LeftButton);
        auto *dialog = w.screen->findChild<editing::HistoryDialog *>();
        QVERIFY(dialog);
        QCOMPARE(dialog->model()->rowCount(), 1);
        QCOMPARE(dialog->model()->item(0, editing::HistoryDialog::Operation)->text(), u"inclusão"_s);
        delete dialog;
    }
}

void TestPermissions::rightTakenAwayMeanwhile()
{
    ProviderArchive archive(db::Provider::PostgreSQL);
    db::pg::PgConnection &owner = *archive.connection().server();
    for (const QString &sql : seed())
        owner.exec(sql);
    PgTestRole user(u"LOGIN IN ROLE %1"_s.arg(db::pg::roles::kAdmin));
    RoleProgramFolder folder(archive, user.name());
    DocumentWindow w(testsupport::ProgramWindowOptions{.seed = {}, .show = testsupport::ProgramWindowOptions::Show::Exposed,
                                                       .recordErrors = false,
                                                       .sharedProgramDir = folder.dir.path()});
    w.openProcess(u"00001"_s);
    QTest::mouseClick(w.panelButton("BtnAlt"), Qt::LeftButton);
    QCOMPARE(w.panelButton("BtnAlt")->text(), u"Gravar"_s);
    w.screen->EdtDesc->setText(u"DEPOIS"_s);
    owner.exec(u"REVOKE UPDATE ON documento FROM %1"_s.arg(db::pg::roles::kArquivista));
    w.ui->clearCalls();
    QTest::mouseClick(w.panelButton("BtnAlt"), Qt::LeftButton);
    const auto messages = w.ui->callsOf(editing::ScriptedPrompt::Kind::Message);
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].text.contains(u"não tem permissão"_s), qPrintable(messages[0].text));
    // Still editing, what was typed kept; the archive unchanged, nothing in the history.
    QCOMPARE(w.panelButton("BtnAlt")->text(), u"Gravar"_s);
    QCOMPARE(w.screen->EdtDesc->text(), u"DEPOIS"_s);
    QCOMPARE(owner.exec(u"SELECT descricao FROM documento"_s).text(0, 0), u"ANTES"_s);
    QCOMPARE(owner.exec(u"SELECT count(*) FROM historico WHERE operacao = 'alteração'"_s).text(0, 0), u"0"_s);
}

void TestPermissions::pageAndDeletionRightsTakenAwayMeanwhile_data()
{
    QTest::addColumn<QString>("revoke");
    QTest::addColumn<QString>("action");
    QTest::newRow("adding a page") << u"REVOKE INSERT ON lauda FROM %1"_s.arg(db::pg::roles::kArquivista)
                                   << u"adicionar"_s;
    QTest::newRow("removing a page") << u"REVOKE DELETE ON lauda FROM %1"_s.arg(db::pg::roles::kArquivista)
                                     << u"remover"_s;
    QTest::newRow("deleting the document") << u"REVOKE DELETE ON documento FROM %1"_s.arg(db::pg::roles::kAdmin)
                                           << u"excluir"_s;
}

// The page and the document are where they were, whatever step of the operation the
// server refused.
void TestPermissions::pageAndDeletionRightsTakenAwayMeanwhile()
{
    QFETCH(QString, revoke);
    QFETCH(QString, action);
    ProviderArchive archive(db::Provider::PostgreSQL);
    db::pg::PgConnection &owner = *archive.connection().server();
    for (const QString &sql : seed())
        owner.exec(sql);
    owner.exec(u"UPDATE documento SET n_laudas = 5"_s); // no page-count warning on the way
    owner.exec(u"INSERT INTO lauda (processo, documento, numero, imagem) VALUES ('00001', '00001', 1, $1)"_s,
               {db::pg::PgParam::bytes(editing::jpeg::encode(QImage(40, 60, QImage::Format_RGB32)))});
    PgTestRole user(u"LOGIN IN ROLE %1"_s.arg(db::pg::roles::kAdmin));
    RoleProgramFolder folder(archive, user.name());
    QTemporaryDir sources;
    const QString chosen = sources.filePath(u"nova.jpg"_s);
    QFile file(chosen);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(editing::jpeg::encode(QImage(50, 70, QImage::Format_RGB32)));
    file.close();
    DocumentWindow w(testsupport::ProgramWindowOptions{.seed = {}, .show = testsupport::ProgramWindowOptions::Show::Exposed,
                                                       .recordErrors = false,
                                                       .sharedProgramDir = folder.dir.path()});
    w.openProcess(u"00001"_s);
    QCOMPARE(w.listedPages().size(), 1);
    owner.exec(revoke);
    w.ui->clearCalls();
    if (action == u"adicionar"_s) {
        DocumentWindow::click(w.panelButton("BtnAlt"));
        w.ui->answerFiles({chosen});
        DocumentWindow::click(w.screen->BtnAddArq);
    } else if (action == u"remover"_s) {
        DocumentWindow::click(w.panelButton("BtnAlt"));
        w.screen->LBoxLaudas->setCurrentRow(0);
        w.ui->answerQuestion(true);
        DocumentWindow::click(w.screen->BtnDelArq);
    } else {
        w.ui->answerQuestion(true);
        DocumentWindow::click(w.panelButton("BtnDel"));
    }
    const auto messages = w.ui->callsOf(editing::ScriptedPrompt::Kind::Message);
    QVERIFY(!messages.isEmpty());
    QVERIFY2(messages.last().text.contains(u"não tem permissão"_s), qPrintable(messages.last().text));
    QCOMPARE(w.screen->EdtCod->text(), u"00001"_s);
    QCOMPARE(w.listedPages().size(), 1);
    QCOMPARE(owner.exec(u"SELECT count(*), max(numero) FROM lauda"_s).text(0, 0), u"1"_s);
    QCOMPARE(owner.exec(u"SELECT count(*) FROM lauda_excluida"_s).text(0, 0), u"0"_s);
    QCOMPARE(owner.exec(u"SELECT count(*), max(n_laudas) FROM documento"_s).text(0, 1), u"5"_s);
    // A deletion's pages went aside and came back, as the history tells; nothing more.
    QCOMPARE(owner.exec(u"SELECT count(*) FROM historico WHERE operacao = 'exclusão'"_s).text(0, 0), u"0"_s);
    QCOMPARE(owner.exec(u"SELECT operacao FROM historico_registro WHERE tabela = 'lauda' ORDER BY id DESC LIMIT 1"_s)
                 .text(0, 0),
             u"página incluída"_s);
}

QTEST_MAIN(TestPermissions)
#include "tst_permissions_pg.moc"
