// The description of the archive's tables that a server archive is made from stays the
// archive file's own: the same columns in the same order, types, and text sizes.
#include "ArchiveFixture.h"

#include "db/ArchiveTables.h"

#include <sqlite3.h>

using namespace Qt::StringLiterals;
using db::schema::ColumnSpec;
using db::schema::ColumnType;
using db::schema::TableSpec;

namespace {

QString declaredType(ColumnType type)
{
    switch (type) {
    case ColumnType::Text:
    case ColumnType::LongText:
        return u"TEXT"_s;
    case ColumnType::Date:
        return u"DATE"_s;
    case ColumnType::Int16:
    case ColumnType::Integer:
        return u"INTEGER"_s;
    case ColumnType::Blob:
        return u"BLOB"_s;
    }
    return {};
}

bool runs(sqlite3 *handle, const QString &sql)
{
    return sqlite3_exec(handle, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

QStringList columnsOf(sqlite3 *handle, const QString &table)
{
    sqlite3_stmt *statement = nullptr;
    const QByteArray sql = "SELECT name || ' ' || type FROM pragma_table_info('" + table.toUtf8() + "')";
    if (sqlite3_prepare_v2(handle, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
        return {};
    QStringList columns;
    while (sqlite3_step(statement) == SQLITE_ROW)
        columns << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    return columns;
}

// A text of the given length that any rule on the column would otherwise accept: digits
// for key columns (codes), letters elsewhere.
QString textOfLength(const TableSpec &table, const ColumnSpec &column, int length)
{
    if (table.key.contains(column.name))
        return QString(length - 1, u'0') + u'1';
    return QString(length, u'Ç');
}

} // namespace

class TestArchiveTables : public QObject {
    Q_OBJECT

private slots:
    void sameColumnsAsTheArchiveFile();
    void sameTextSizesAsTheArchiveFile();
};

void TestArchiveTables::sameColumnsAsTheArchiveFile()
{
    fixture::Archive archive;
    QStringList tables;
    for (const TableSpec &table : db::schema::archiveTables()) {
        tables << table.name;
        QStringList expected;
        for (const ColumnSpec &c : table.columns)
            expected << c.name + u' ' + declaredType(c.type);
        QCOMPARE(columnsOf(archive.connection.handle(), table.name), expected);
    }
    QCOMPARE(tables, (QStringList{u"orgao"_s, u"processo"_s, u"tipo_arq"_s, u"documento"_s}));
}

void TestArchiveTables::sameTextSizesAsTheArchiveFile()
{
    fixture::Archive archive;
    sqlite3 *handle = archive.connection.handle();
    for (const TableSpec &table : db::schema::archiveTables()) {
        for (const ColumnSpec &column : table.columns) {
            if (column.type != ColumnType::Text)
                continue;
            auto insertOfLength = [&](int length) {
                QStringList names = table.key;
                names.removeAll(column.name);
                QStringList values(names.size(), u"'00001'"_s);
                names << column.name;
                values << u'\'' + textOfLength(table, column, length) + u'\'';
                return u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(table.name, names.join(u','), values.join(u','));
            };
            const QString where = u"%1.%2"_s.arg(table.name, column.name);
            QVERIFY2(runs(handle, u"DELETE FROM %1"_s.arg(table.name)), qPrintable(where));
            QVERIFY2(runs(handle, insertOfLength(column.maxLength)), qPrintable(where));
            QVERIFY2(runs(handle, u"DELETE FROM %1"_s.arg(table.name)), qPrintable(where));
            QVERIFY2(!runs(handle, insertOfLength(column.maxLength + 1)), qPrintable(where));
        }
    }
}

QTEST_GUILESS_MAIN(TestArchiveTables)
#include "tst_archivetables.moc"
