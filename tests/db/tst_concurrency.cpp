// Two running copies of the program on one archive: two OS processes (this test
// executable started again as a writer) insert, update and read in a loop.
#include "ArchiveFixture.h"

#include "db/Command.h"
#include "db/DbError.h"

#include <QCoreApplication>
#include <QProcess>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRowsPerWriter = 200;
const char *const kWriterFlag = "--writer";

// One copy of the program: for each row an INSERT through a command, an UPDATE of the
// shared process row and a query over the documents, as the document screen does.
int runWriter(const QString &path, const QString &process)
{
    try {
        db::Connection connection;
        connection.openFile(path);
        db::Command insert(&connection);
        db::Query documents(&connection);
        documents.setSql(u"Select cod,descricao\nFrom documento\nWhere processo=\"%1\""_s.arg(process));
        for (int i = 1; i <= kRowsPerWriter; ++i) {
            insert.setText(u"Insert Into documento (cod,processo,tp_doc,descricao,ementa,palavras_chave,data,data_arquivamento,n_laudas,localidade,parteleira,gaveta,pasta) "
                           u"VALUES (\"%1\",\"%2\",\"00001\",\"DOC %1\",\"\",\"\",38061,NULL,1,\"\",\"\",\"\",\"\")"_s
                               .arg(i, 5, 10, QChar(u'0'))
                               .arg(process));
            insert.execute();
            connection.execute(u"UPDATE processo SET num_doc=\"%1\" Where cod=\"00001\""_s.arg(i));
            documents.close();
            documents.open();
            documents.last();
            if (documents.recordCount() != i)
                throw db::DbError(u"%1 rows read after %2 inserts"_s.arg(documents.recordCount()).arg(i));
        }
    } catch (const db::DbError &error) {
        std::fprintf(stderr, "%s\n", error.message().toUtf8().constData());
        return 1;
    }
    return 0;
}

} // namespace

class TestConcurrency : public QObject {
    Q_OBJECT

private slots:
    void twoProcessesWriteTheSameArchive();
};

void TestConcurrency::twoProcessesWriteTheSameArchive()
{
    fixture::Archive archive;
    archive.fill();
    archive.connection.close();

    QList<QProcess *> writers;
    for (const QString &process : {u"00100"_s, u"00200"_s}) {
        auto *writer = new QProcess(this);
        writer->start(QCoreApplication::applicationFilePath(),
                      {QString::fromLatin1(kWriterFlag), archive.path, process});
        writers << writer;
    }
    for (QProcess *writer : writers) {
        QVERIFY(writer->waitForFinished(240000));
        QCOMPARE(QString::fromUtf8(writer->readAllStandardError()), QString());
        QCOMPARE(writer->exitStatus(), QProcess::NormalExit);
        QCOMPARE(writer->exitCode(), 0);
    }

    archive.connection.openFile(archive.path);
    QCOMPARE(archive.rows(u"select processo, count(*) as n, count(distinct cod) as c from documento "
                          u"where processo in ('00100', '00200') group by processo"_s),
             (QStringList{u"processo\tn\tc"_s, u"00100\t%1\t%1"_s.arg(kRowsPerWriter),
                          u"00200\t%1\t%1"_s.arg(kRowsPerWriter)}));
    QCOMPARE(archive.value(u"pragma integrity_check"_s), u"ok"_s);
}

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], kWriterFlag) == 0)
        return runWriter(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TestConcurrency test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_concurrency.moc"
