#pragma once
// A real archive file in a temporary folder, optionally filled with a small data set.
#include "db/Connection.h"
#include "db/Query.h"
#include "db/ResultText.h"
#include "tests/support/ProviderArchive.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace fixture {

using namespace Qt::StringLiterals;

/// The provider column of a table of cases: each case runs on both engines.
inline void addProviderColumn()
{
    QTest::addColumn<db::Provider>("provider");
}

/// "name" on SQLite, "name, postgresql" on the server.
inline QByteArray caseName(const char *name, db::Provider provider)
{
    return provider == db::Provider::SQLite ? QByteArray(name)
                                            : QByteArray(name) + ", " + testsupport::providerName(provider);
}

struct Archive {
    QTemporaryDir dir;
    QString path;
    db::Connection connection;

    /// A new file archive, or the test binary's server archive emptied.
    explicit Archive(db::Provider provider = db::Provider::SQLite)
    {
        if (provider == db::Provider::PostgreSQL) {
            connection.openServer(testsupport::sharedServerArchive().address());
            testsupport::emptyServerArchive(*connection.server());
            return;
        }
        path = dir.filePath(u"cartulo.db"_s);
        db::Connection::createArchive(path);
        connection.openFile(path);
    }

    /// Opens another connection on the same archive, as a second workstation would.
    void openAnother(db::Connection &other)
    {
        if (connection.server())
            other.openServer(connection.server()->address());
        else
            other.openFile(path);
    }

    /// Rows any screen could have written: three types, two processes, three documents
    /// (one with a type code that has no row in tipo_arq).
    void fill()
    {
        const QStringList statements = {
            u"insert into tipo_arq values ('00001','CARTA'),('00002','OFÍCIO'),('00003','LICITAÇÃO')"_s,
            u"insert into processo values ('00001','Obra da escola','10',38000,2),"
            u"('00002','Compra de papel','11',NULL,0)"_s,
            u"insert into documento (cod,processo,tp_doc,descricao,ementa,palavras_chave,data,"
            u"data_arquivamento,n_laudas,localidade,parteleira,gaveta,pasta) values "
            u"('00002','00001','00001','CARTA AO PREFEITO','Pedido de vista',NULL,38090,NULL,1,'ARQUIVO','A1','1','10'),"
            u"('00001','00001','00003','EDITAL','Licitação ABC da obra','def; obra',38061,38065.5,3,'ARQUIVO','A1','1','10'),"
            u"('00001','00002','00009','RECIBO','Papel A4','papel',38100,NULL,1,'SALA','B','2','3')"_s,
        };
        for (const QString &s : statements)
            connection.execute(s);
    }

    /// The rows of a select as header + lines, fields joined by tabs.
    QStringList rows(const QString &sql)
    {
        db::Query query(&connection);
        query.setSql(sql);
        query.open();
        return db::resultLines(query);
    }

    QString value(const QString &sql)
    {
        const QStringList lines = rows(sql);
        return lines.size() > 1 ? lines[1] : QString();
    }
};

} // namespace fixture
