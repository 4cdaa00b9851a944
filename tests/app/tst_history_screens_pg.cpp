// "Histórico" on the process and document screens: the record's changes, newest first,
// with who made them and what each changed, on both engines and for every group.
#include "db/History.h"
#include "editing/HistoryDialog.h"
#include "registers/UntFrameProcesso.h"
#include "tests/documents/DocumentWindow.h"
#include "tests/support/ProviderArchive.h"

#include <QStandardItemModel>
#include <QTest>

using namespace Qt::StringLiterals;
using db::Provider;
using editing::HistoryDialog;
using testsupport::ProviderArchive;

namespace {

const QStringList kSeed{u"INSERT INTO processo (cod, descricao) VALUES ('00001', 'LICITAÇÃO')"_s,
                        u"INSERT INTO documento (cod, processo, descricao) VALUES ('00001', '00001', 'ANTES')"_s};

QString whoOnThe(const ProviderArchive &archive)
{
    return archive.provider() == Provider::PostgreSQL ? archive.serverDatabase()->address().role
                                                      : db::history::osUser();
}

struct Row {
    QString who;
    QString operation;
    QString key;
    QString changes;
};

// The dialog the button opened, its rows read, then closed.
QList<Row> historyShownBy(QPushButton *button, QWidget *screen)
{
    QList<Row> rows;
    QTest::mouseClick(button, Qt::LeftButton);
    auto *dialog = screen->findChild<HistoryDialog *>();
    if (!dialog || !dialog->isVisible())
        return rows;
    const QStandardItemModel &model = *dialog->model();
    for (int r = 0; r < model.rowCount(); ++r)
        rows << Row{model.item(r, HistoryDialog::Who)->text(), model.item(r, HistoryDialog::Operation)->text(),
                    model.item(r, HistoryDialog::Key)->text(), model.item(r, HistoryDialog::Changes)->text()};
    delete dialog;
    return rows;
}

QStringList operationsOf(const QList<Row> &rows)
{
    QStringList operations;
    for (const Row &row : rows)
        operations << row.operation + u' ' + row.key;
    return operations;
}

} // namespace

class TestHistoryScreens : public QObject {
    Q_OBJECT
private slots:
    void documentHistoryNewestFirst_data();
    void documentHistoryNewestFirst();
    void processHistoryNewestFirst_data();
    void processHistoryNewestFirst();
    void changedFieldsReadably_data();
    void changedFieldsReadably();
};

void TestHistoryScreens::documentHistoryNewestFirst_data()
{
    QTest::addColumn<Provider>("provider");
    for (Provider p : testsupport::allProviders())
        QTest::addRow("%s", testsupport::providerName(p)) << p;
}

void TestHistoryScreens::documentHistoryNewestFirst()
{
    QFETCH(Provider, provider);
    ProviderArchive archive(provider);
    for (const QString &sql : kSeed)
        archive.connection().execute(sql);
    // Another document of the same process: its changes are not this one's.
    archive.connection().execute(u"INSERT INTO documento (cod, processo, descricao) VALUES ('00002', '00001', 'OUTRO')"_s);
    DocumentWindow w(testsupport::ProgramWindowOptions{.seed = {}, .show = testsupport::ProgramWindowOptions::Show::Exposed,
                                                       .sharedProgramDir = archive.programDir()});
    w.openProcess(u"00001"_s);
    QCOMPARE(w.screen->EdtCod->text(), u"00001"_s);
    QPushButton *history = w.screen->BtnHistorico;
    QVERIFY(history->isEnabled());
    for (const QString &text : {u"MEIO"_s, u"DEPOIS"_s}) {
        QTest::mouseClick(w.panelButton("BtnAlt"), Qt::LeftButton);
        QCOMPARE(w.panelButton("BtnAlt")->text(), u"Gravar"_s);
        QVERIFY(!history->isEnabled()); // not while editing
        w.screen->EdtDesc->setText(text);
        QTest::mouseClick(w.panelButton("BtnAlt"), Qt::LeftButton);
        QCOMPARE(w.panelButton("BtnAlt")->text(), u"Editar"_s);
        QVERIFY(history->isEnabled());
    }
    const QList<Row> rows = historyShownBy(history, w.screen);
    QCOMPARE(operationsOf(rows), (QStringList{u"alteração 0000100001"_s, u"alteração 0000100001"_s,
                                              u"inclusão 0000100001"_s}));
    const QString who = whoOnThe(archive);
    for (const Row &row : rows)
        QCOMPARE(row.who, who);
    QCOMPARE(rows[0].changes, u"descricao: MEIO → DEPOIS"_s);
    QCOMPARE(rows[1].changes, u"descricao: ANTES → MEIO"_s);
    QVERIFY2(rows[2].changes.contains(u"descricao: ANTES"_s), qPrintable(rows[2].changes));

    // Including a document: the button waits for the new record.
    QTest::mouseClick(w.panelButton("BtnInc"), Qt::LeftButton);
    QCOMPARE(w.panelButton("BtnInc")->text(), u"Confirmar"_s);
    QVERIFY(!history->isEnabled());
    QVERIFY(w.errors.isEmpty());
}

void TestHistoryScreens::processHistoryNewestFirst_data()
{
    QTest::addColumn<Provider>("provider");
    for (Provider p : testsupport::allProviders())
        QTest::addRow("%s", testsupport::providerName(p)) << p;
}

void TestHistoryScreens::processHistoryNewestFirst()
{
    QFETCH(Provider, provider);
    ProviderArchive archive(provider);
    for (const QString &sql : kSeed)
        archive.connection().execute(sql);
    archive.connection().execute(u"INSERT INTO tipo_arq (cod, descricao) VALUES ('00001', 'ATA')"_s); // same key
    DocumentWindow w(testsupport::ProgramWindowOptions{.seed = {}, .show = testsupport::ProgramWindowOptions::Show::Exposed,
                                                       .sharedProgramDir = archive.programDir()});
    auto *browser = w.window->findChild<TFrameDoc *>(u"FrameDoc1"_s);
    QVERIFY(browser);
    QTest::mouseClick(browser->BtnPesq, Qt::LeftButton);
    TFrameProcesso *screen = w.window->FrameProcesso1;
    QCOMPARE(screen->EdtCod->text(), u"00001"_s);
    QPushButton *history = screen->BtnHistorico;
    QVERIFY(history->isEnabled());
    QPushButton *edit = screen->PnlProcesso->BtnAlt;
    QTest::mouseClick(edit, Qt::LeftButton);
    QVERIFY(!history->isEnabled());
    screen->EdtDesc->setText(u"PREGÃO"_s);
    QTest::mouseClick(edit, Qt::LeftButton);
    QCOMPARE(edit->text(), u"Editar"_s);
    QVERIFY(history->isEnabled());
    const QList<Row> rows = historyShownBy(history, screen);
    QCOMPARE(operationsOf(rows), (QStringList{u"alteração 00001"_s, u"inclusão 00001"_s}));
    QCOMPARE(rows[0].who, whoOnThe(archive));
    QCOMPARE(rows[0].changes, u"descricao: LICITAÇÃO → PREGÃO"_s);
    QVERIFY(w.errors.isEmpty());
}

void TestHistoryScreens::changedFieldsReadably_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("shown");
    QTest::addRow("changed fields only") << uR"({"cod":"00001","descricao":"A","num_doc":2})"_s
                                         << uR"({"cod":"00001","descricao":"B","num_doc":3})"_s
                                         << u"descricao: A → B\nnum_doc: 2 → 3"_s;
    QTest::addRow("emptied") << uR"({"descricao":"A"})"_s << uR"({"descricao":null})"_s
                             << u"descricao: A → (vazio)"_s;
    QTest::addRow("inclusion: what it holds") << QString() << uR"({"cod":"00001","descricao":null,"n":1.5})"_s
                                              << u"cod: 00001\nn: 1.5"_s;
    QTest::addRow("exclusion: what it held") << uR"({"bytes":5000,"sha256":"ab"})"_s << QString()
                                             << u"bytes: 5000\nsha256: ab"_s;
}

void TestHistoryScreens::changedFieldsReadably()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QString, shown);
    QCOMPARE(editing::changedFields(before, after), shown);
}

QTEST_MAIN(TestHistoryScreens)
#include "tst_history_screens_pg.moc"
