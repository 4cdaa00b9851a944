#include "db/pg/PgSchema.h"

#include "db/ArchiveTables.h"
#include "db/DbError.h"
#include "db/PageTextSchema.h"
#include "db/PageTextSearchSchema.h"
#include "db/pg/PgConnection.h"
#include "db/pg/PgFold.h"
#include "db/pg/PgRoles.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace db::pg::schema {

namespace {

using db::schema::ColumnSpec;
using db::schema::ColumnType;
using db::schema::TableSpec;

const QString kDateDomain = u"cartulo_data"_s;
const QString kFoldFunction = u"cartulo_fold"_s;
const QString kCreateLocale = u"crie-o com ENCODING 'UTF8' LOCALE 'C.UTF-8' TEMPLATE template0 "
                              u"(veja scripts/pg-setup-server.sh)"_s;

QString typeOf(ColumnType type)
{
    switch (type) {
    case ColumnType::Text:
    case ColumnType::LongText:
        return u"text"_s;
    case ColumnType::Date:
        return kDateDomain;
    case ColumnType::Int16:
        return u"smallint"_s;
    case ColumnType::Integer:
        return u"integer"_s;
    case ColumnType::Blob:
        return u"bytea"_s;
    }
    return {};
}

QString fiveDigitsCheck(const QString &table, const QString &column)
{
    return u"CONSTRAINT \"%1.%2: cinco algarismos\" CHECK (%2 ~ '^[0-9]{5}$')"_s.arg(table, column);
}

// Named constraints, as on SQLite: the server's message says what is wrong and where.
// Text with a CHECK rather than varchar(n), which would silently cut trailing spaces.
QStringList checksOf(const QString &table, const ColumnSpec &c)
{
    QStringList checks;
    if (c.type == ColumnType::Text)
        checks << u"CONSTRAINT \"%1.%2: no máximo %3 caracteres\" CHECK (char_length(%2) <= %3)"_s.arg(
            table, c.name, QString::number(c.maxLength));
    if (c.fiveDigitCode)
        checks << fiveDigitsCheck(table, c.name);
    return checks;
}

QString createTable(const TableSpec &t)
{
    QStringList parts;
    for (const ColumnSpec &c : t.columns)
        parts << c.name + u' ' + typeOf(c.type) + (t.key.contains(c.name) ? u" NOT NULL"_s : QString());
    for (const ColumnSpec &c : t.columns)
        parts << checksOf(t.name, c);
    if (!t.key.isEmpty())
        parts << u"CONSTRAINT %1_pkey PRIMARY KEY (%2)"_s.arg(t.name, t.key.join(u", "_s));
    return u"CREATE TABLE %1 (\n  %2\n)"_s.arg(t.name, parts.join(u",\n  "_s));
}

// The page tables share their columns and rules; the moved-aside one keeps every page it
// receives, the same codes and number as often as they come.
QStringList createPageTables()
{
    auto pageColumns = [](QStringView table) {
        const QString name = table.toString();
        return QStringList{u"processo text NOT NULL"_s,
                           u"documento text NOT NULL"_s,
                           u"numero smallint NOT NULL"_s,
                           u"imagem bytea NOT NULL"_s,
                           fiveDigitsCheck(name, u"processo"_s),
                           fiveDigitsCheck(name, u"documento"_s),
                           u"CONSTRAINT \"%1.numero: de 1 a 999\" CHECK (numero BETWEEN 1 AND 999)"_s.arg(name)};
    };
    const QStringList pages = pageColumns(kPagesTable)
        << u"CONSTRAINT %1_pkey PRIMARY KEY (processo, documento, numero)"_s.arg(kPagesTable);
    const QStringList aside = QStringList{u"id bigint GENERATED ALWAYS AS IDENTITY"_s}
        << pageColumns(kPagesAsideTable)
        << u"excluida_em timestamp with time zone NOT NULL DEFAULT now()"_s
        << u"CONSTRAINT %1_pkey PRIMARY KEY (id)"_s.arg(kPagesAsideTable);
    return {
        u"CREATE TABLE %1 (\n  %2\n)"_s.arg(kPagesTable, pages.join(u",\n  "_s)),
        u"CREATE TABLE %1 (\n  %2\n)"_s.arg(kPagesAsideTable, aside.join(u",\n  "_s)),
        // JPEG does not compress: store the bytes out of line as they are.
        u"ALTER TABLE %1 ALTER COLUMN imagem SET STORAGE EXTERNAL"_s.arg(kPagesTable),
        u"ALTER TABLE %1 ALTER COLUMN imagem SET STORAGE EXTERNAL"_s.arg(kPagesAsideTable),
        u"CREATE INDEX %1_codigos ON %1 (processo, documento, numero)"_s.arg(kPagesAsideTable),
        u"COMMENT ON TABLE %1 IS 'Páginas (JPEG) dos documentos: processo, documento, número'"_s.arg(kPagesTable),
        u"COMMENT ON TABLE %1 IS 'Páginas postas de lado (documentos excluídos, inclusões canceladas)'"_s.arg(
            kPagesAsideTable),
    };
}

QStringList createStatements(PgConnection &connection)
{
    QStringList statements = {
        u"CREATE EXTENSION IF NOT EXISTS pg_trgm"_s,
        u"CREATE DOMAIN %1 AS double precision"_s.arg(kDateDomain),
        u"COMMENT ON DOMAIN %1 IS 'Data: dias desde 30/12/1899; a fração é a hora do dia'"_s.arg(kDateDomain),
        foldFunctionStatement(connection),
    };
    for (const TableSpec &t : db::schema::archiveTables())
        statements << createTable(t);
    statements
        << u"ALTER TABLE documento ADD CONSTRAINT documento_processo_fkey FOREIGN KEY (processo) "
           u"REFERENCES processo (cod) ON DELETE CASCADE"_s
        << u"CREATE INDEX documento_tp_doc ON documento (tp_doc)"_s
        << u"CREATE INDEX documento_data ON documento (data)"_s
        // Without a pending list: a search would read every entry of it, on every
        // workstation, until the next vacuum; an inclusion pays its entries at once.
        << u"CREATE INDEX %1 ON documento USING gin (%2(ementa) gin_trgm_ops, "
           u"%2(descricao) gin_trgm_ops, %2(palavras_chave) gin_trgm_ops) WITH (fastupdate = off)"_s.arg(
               kSearchIndex, kFoldFunction)
        << createPageTables()
        << db::pagetext::serverStatements()
        << db::pagetextsearch::createStatements(connection)
        << u"CREATE TABLE %1 (versao integer NOT NULL)"_s.arg(kFormatTable)
        << u"INSERT INTO %1 (versao) VALUES (%2)"_s.arg(kFormatTable, QString::number(kFormatVersion));
    return statements;
}

QString arrayLiteral(const QStringList &names)
{
    return u'{' + names.join(u',') + u'}';
}

QString databaseName(const PgConnection &connection)
{
    return connection.address().displayName();
}

// Tables of ours, the fold function and the date domain that already exist.
QStringList presentObjects(PgConnection &connection)
{
    const PgResult result = connection.exec(
        u"SELECT n FROM unnest($1::text[]) AS n WHERE to_regclass(n) IS NOT NULL "
        u"UNION ALL SELECT $2 WHERE to_regprocedure($2 || '(text)') IS NOT NULL "
        u"UNION ALL SELECT $3 WHERE to_regtype($3) IS NOT NULL"_s,
        {PgParam::text(arrayLiteral(tableNames())), PgParam::text(kFoldFunction),
         PgParam::text(kDateDomain)});
    QStringList present;
    for (int row = 0; row < result.rowCount(); ++row)
        present << result.text(row, 0);
    return present;
}

} // namespace

QStringList tableNames()
{
    QStringList names;
    for (const TableSpec &t : db::schema::archiveTables())
        names << t.name;
    names << kPagesTable.toString() << kPagesAsideTable.toString() << kFormatTable.toString();
    return names;
}

void checkLocale(PgConnection &connection)
{
    // The locale provider (ICU or libc) is known from version 15 on.
    const QString provider = connection.serverVersion() >= 150000 ? u"datlocprovider::text"_s : u"'c'"_s;
    const PgResult result = connection.exec(
        u"SELECT pg_encoding_to_char(encoding), datcollate, datctype, %1 FROM pg_database "
        u"WHERE datname = current_database()"_s.arg(provider));
    const QString encoding = result.text(0, 0);
    const QString collate = result.text(0, 1);
    const QString ctype = result.text(0, 2);
    const QString name = databaseName(connection);
    if (encoding != u"UTF8"_s)
        throw DbError(u"O banco de dados %1 usa a codificação %2, não UTF8: %3."_s.arg(name, encoding, kCreateLocale));
    static const QRegularExpression utf8Locale(u"\\.utf-?8$"_s, QRegularExpression::CaseInsensitiveOption);
    if (!utf8Locale.match(ctype).hasMatch())
        throw DbError(u"O banco de dados %1 tem a localidade \"%2\" (LC_CTYPE): nela o servidor não "
                      u"reconhece as letras acentuadas nas buscas; %3."_s.arg(name, ctype, kCreateLocale));
    static const QRegularExpression codePointOrder(u"^(C|POSIX|C\\.utf-?8)$"_s,
                                                   QRegularExpression::CaseInsensitiveOption);
    if (result.text(0, 3) != u"c"_s || !codePointOrder.match(collate).hasMatch())
        throw DbError(u"O banco de dados %1 ordena os textos pela localidade \"%2\" (LC_COLLATE), não "
                      u"como o arquivo do Cartulo; %3."_s.arg(name, result.text(0, 3) == u"i"_s ? u"ICU"_s : collate,
                                                            kCreateLocale));
}

void create(PgConnection &connection)
{
    PgTransaction transaction(connection);
    checkLocale(connection);
    const QStringList present = presentObjects(connection);
    if (!present.isEmpty())
        throw DbError(u"O banco de dados %1 já contém %2; nada foi alterado."_s.arg(
            databaseName(connection), present.join(u", "_s)));
    for (const QString &statement : createStatements(connection))
        connection.exec(statement);
    roles::ensureHistory(connection);
    roles::ensureRoles(connection);
    transaction.commit();
}

void checkIsArchive(PgConnection &connection)
{
    const QString name = databaseName(connection);
    const PgResult missing = connection.exec(
        u"SELECT n FROM unnest($1::text[]) AS n WHERE to_regclass(n) IS NULL"_s,
        {PgParam::text(arrayLiteral(tableNames()))});
    if (missing.rowCount() > 0) {
        QStringList names;
        for (int row = 0; row < missing.rowCount(); ++row)
            names << missing.text(row, 0);
        throw DbError(u"%1 não é um arquivo do Cartulo: faltam as tabelas %2"_s.arg(name, names.join(u", "_s)));
    }
    const PgResult format = connection.exec(u"SELECT max(versao) FROM %1"_s.arg(kFormatTable));
    const int version = format.isNull(0, 0) ? 0 : format.text(0, 0).toInt();
    if (version > kFormatVersion)
        throw DbError(u"O arquivo %1 foi criado por uma versão mais nova do Cartulo (formato %2; "
                      u"esta versão conhece até o %3)."_s.arg(name, QString::number(version),
                                                             QString::number(kFormatVersion)));
    if (version < 1)
        throw DbError(u"%1 não é um arquivo do Cartulo: a tabela %2 não diz o formato."_s.arg(name, kFormatTable));
    checkLocale(connection);
}

} // namespace db::pg::schema
