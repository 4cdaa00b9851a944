#pragma once
// A real archive file in a temporary folder, opened on one connection, for the editing tests.
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Query.h"
#include "editing/lib.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <utility>
#include <vector>

class TestArchive {
public:
    TestArchive()
    {
        QVERIFY2(m_dir.isValid(), "no temporary folder");
        const QString path = m_dir.filePath(QStringLiteral("cartulo.db"));
        db::Connection::createArchive(path);
        connection.openFile(path);
    }

    void run(const QString &sql)
    {
        db::Command command(&connection);
        command.setText(sql);
        command.execute();
    }

    void addTypes(const std::vector<std::pair<QString, QString>> &types)
    {
        for (const auto &[code, description] : types)
            run(QStringLiteral("Insert Into tipo_arq (cod,descricao) VALUES (") + lib::quoted(code)
                + QStringLiteral(",") + lib::quoted(description) + QStringLiteral(")"));
    }

    /// Rows of a one-column-or-more select, each row's columns joined by '|'.
    QStringList rows(const QString &sql)
    {
        db::Query query(&connection);
        query.setSql(sql);
        query.open();
        QStringList result;
        for (query.first(); !query.isEmpty() && !query.eof(); query.next()) {
            QStringList columns;
            for (int c = 0; c < query.fieldCount(); ++c)
                columns << query.asText(c);
            result << columns.join(u'|');
        }
        return result;
    }

    db::Connection connection;

private:
    QTemporaryDir m_dir;
};
