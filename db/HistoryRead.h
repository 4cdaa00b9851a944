#pragma once
#include <QString>
#include <QStringList>

#include <vector>

namespace db {
class Connection;
}

namespace db::history {

/// One row of the history, as the view `historico` reports it.
struct Entry {
    QString quando;
    QString quem;
    QString estacao;
    QString operacao;
    QString tabela;
    QString chave;
    QString antes;
    QString depois;
};

/// The history of one process, newest first.
std::vector<Entry> ofProcess(const Connection &connection, const QString &process);

/// The history of one document and of its pages, newest first.
std::vector<Entry> ofDocument(const Connection &connection, const QString &process, const QString &document);

} // namespace db::history
