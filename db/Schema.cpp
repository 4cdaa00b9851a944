#include "db/Schema.h"

#include "db/DbError.h"
#include "db/Exec.h"
#include "db/PageTextSchema.h"
#include "db/PageTextSearchSchema.h"
#include "db/History.h"
#include "db/SearchIndex.h"

#include <QSet>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace db::schema {

namespace {

enum class Type { Text, LongText, Date, Int16, Integer, Blob };

struct Column {
    QString name;
    Type type;
    int maxLength = 0; // Text only
    // A process or document code: exactly five digits, since page file names join two
    // codes and "1" + "00011" would name the pages of "10001" + "1".
    bool fiveDigitCode = false;
};

struct Table {
    QString name;
    QList<Column> columns;
    QStringList key;     // unique and not null
    bool keyIsPrimary = false; // PRIMARY KEY (rows by key) or UNIQUE on a rowid table
};

QList<Table> tables()
{
    return {
        {u"orgao"_s,
         {{u"nome"_s, Type::Text, 50},
          {u"cnpj"_s, Type::Text, 14},
          {u"endereco"_s, Type::Text, 50},
          {u"bairro"_s, Type::Text, 50},
          {u"cidade"_s, Type::Text, 50},
          {u"uf"_s, Type::Text, 2},
          {u"tel"_s, Type::Text, 10},
          {u"tel1"_s, Type::Text, 10},
          {u"email"_s, Type::Text, 100},
          {u"url"_s, Type::Text, 100},
          {u"resp1"_s, Type::Text, 50},
          {u"cargo1"_s, Type::Text, 50},
          {u"resp2"_s, Type::Text, 50},
          {u"cargo2"_s, Type::Text, 50},
          {u"logomarca"_s, Type::Blob}},
         {},
         false},
        {u"processo"_s,
         {{u"cod"_s, Type::Text, 5, true},
          {u"descricao"_s, Type::Text, 50},
          {u"numero"_s, Type::Text, 5},
          {u"data"_s, Type::Date},
          {u"num_doc"_s, Type::Int16}},
         {u"cod"_s},
         true},
        {u"tipo_arq"_s,
         {{u"cod"_s, Type::Text, 5},
          // The entry sets no limit; 255 is the longest text column the old engine had.
          {u"descricao"_s, Type::Text, 255}},
         {u"cod"_s},
         true},
        {u"documento"_s,
         {{u"cod"_s, Type::Text, 5, true},
          {u"processo"_s, Type::Text, 5, true},
          {u"tp_doc"_s, Type::Text, 5},
          {u"descricao"_s, Type::Text, 50},
          {u"ementa"_s, Type::LongText},
          {u"palavras_chave"_s, Type::LongText},
          {u"data"_s, Type::Date},
          {u"data_arquivamento"_s, Type::Date},
          {u"n_laudas"_s, Type::Integer},
          {u"localidade"_s, Type::Text, 20},
          {u"parteleira"_s, Type::Text, 5},
          {u"gaveta"_s, Type::Text, 5},
          {u"pasta"_s, Type::Text, 5}},
         // Rows of one process come back through this index, in code order.
         {u"processo"_s, u"cod"_s},
         false},
    };
}

QString declaredType(Type type)
{
    switch (type) {
    case Type::Text:
    case Type::LongText:
        return u"TEXT"_s;
    case Type::Date:
        return u"DATE"_s;
    case Type::Int16:
    case Type::Integer:
        return u"INTEGER"_s;
    case Type::Blob:
        return u"BLOB"_s;
    }
    return {};
}

// Named constraints: the engine's message then says what is wrong and where.
QString checkOf(const QString &table, const Column &c)
{
    const QString label = u"\"%1.%2: "_s.arg(table, c.name);
    switch (c.type) {
    case Type::Text:
        return u"CONSTRAINT %1no máximo %2 caracteres\" CHECK (length(%3) <= %2)"_s.arg(
            label, QString::number(c.maxLength), c.name);
    case Type::Date:
        return u"CONSTRAINT %1data inválida (use dd/mm/aa)\" CHECK (typeof(%2) IN ('null','integer','real'))"_s
            .arg(label, c.name);
    case Type::Int16:
        return u"CONSTRAINT %1número inteiro de -32768 a 32767\" CHECK (%2 IS NULL OR (typeof(%2) = 'integer' AND %2 BETWEEN -32768 AND 32767))"_s
            .arg(label, c.name);
    case Type::Integer:
        return u"CONSTRAINT %1número inteiro\" CHECK (%2 IS NULL OR (typeof(%2) = 'integer' AND %2 BETWEEN -2147483648 AND 2147483647))"_s
            .arg(label, c.name);
    case Type::LongText:
    case Type::Blob:
        return {};
    }
    return {};
}

QString createTable(const Table &t)
{
    QStringList parts;
    for (const Column &c : t.columns) {
        QString def = c.name + u' ' + declaredType(c.type);
        if (t.key.contains(c.name))
            def += u" NOT NULL"_s;
        parts << def;
    }
    for (const Column &c : t.columns) {
        const QString check = checkOf(t.name, c);
        if (!check.isEmpty())
            parts << check;
        if (c.fiveDigitCode)
            parts << u"CONSTRAINT \"%1.%2: código de cinco algarismos\" CHECK (%2 GLOB '[0-9][0-9][0-9][0-9][0-9]')"_s.arg(
                         t.name, c.name);
    }
    if (!t.key.isEmpty())
        parts << (t.keyIsPrimary ? u"PRIMARY KEY ("_s : u"UNIQUE ("_s) + t.key.join(u", "_s) + u')';
    // A keyed table without rowid keeps its rows in key order: "select *" lists by code.
    return u"CREATE TABLE %1 (\n  %2\n)%3"_s.arg(t.name, parts.join(u",\n  "_s),
                                              t.keyIsPrimary ? u" WITHOUT ROWID"_s : QString());
}

} // namespace

QStringList tableNames()
{
    QStringList names;
    for (const Table &t : tables())
        names << t.name;
    return names;
}

QStringList createStatements()
{
    QStringList statements;
    for (const Table &t : tables())
        statements << createTable(t);
    statements << u"CREATE INDEX documento_tp_doc ON documento (tp_doc)"_s
               << u"CREATE INDEX documento_data ON documento (data)"_s
               // Works without PRAGMA foreign_keys, on every connection.
               << u"CREATE TRIGGER processo_exclui_documentos AFTER DELETE ON processo\n"
                  u"BEGIN\n  DELETE FROM documento WHERE processo = OLD.cod;\nEND"_s;
    // The substring index, complete while empty, kept by its triggers from the first document.
    statements << searchindex::createStatements();
    statements << pagetext::fileStatements();
    statements << pagetextsearch::createStatements();
    statements << history::createStatements();
    statements << u"PRAGMA user_version = %1"_s.arg(kFormatVersion);
    return statements;
}

void create(sqlite3 *handle)
{
    inTransaction(handle, [handle] {
        for (const QString &statement : createStatements())
            exec(handle, statement);
    });
}

void checkIsArchive(sqlite3 *handle, const QString &path)
{
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(handle, "SELECT lower(name) FROM sqlite_schema WHERE type = 'table'", -1,
                           &raw, nullptr) != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)) + u": "_s + path);
    QSet<QString> present;
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW)
        present.insert(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, 0))));
    const QString error = QString::fromUtf8(sqlite3_errmsg(handle));
    sqlite3_finalize(raw);
    if (rc != SQLITE_DONE)
        throw DbError(error + u": "_s + path);
    QStringList missing;
    for (const QString &name : tableNames()) {
        if (!present.contains(name))
            missing << name;
    }
    if (!missing.isEmpty())
        throw DbError(u"%1 não é um arquivo do Cartulo: faltam as tabelas %2"_s.arg(
            path, missing.join(u", "_s)));
}

} // namespace db::schema
