#include "db/Cells.h"

#include "db/JetDate.h"

#include <QByteArray>
#include <QStringDecoder>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace db {

QVariant readCell(sqlite3_stmt *statement, int column)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(statement, column));
    case SQLITE_TEXT: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
        return QVariant(QString::fromUtf8(text, sqlite3_column_bytes(statement, column)));
    }
    case SQLITE_BLOB: {
        const auto *bytes = static_cast<const char *>(sqlite3_column_blob(statement, column));
        return QVariant(QByteArray(bytes, sqlite3_column_bytes(statement, column)));
    }
    default:
        return {};
    }
}

bool isDateDeclaration(const char *declaredType)
{
    if (!declaredType)
        return false;
    const QByteArrayView type(declaredType);
    return type.compare("DATE", Qt::CaseInsensitive) == 0
        || type.compare("DATETIME", Qt::CaseInsensitive) == 0;
}

QString cellText(const QVariant &value, bool dateColumn)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return {};
    case QMetaType::LongLong:
        return dateColumn ? dayNumberToText(double(value.toLongLong()))
                          : QString::number(value.toLongLong());
    case QMetaType::Double:
        return dateColumn ? dayNumberToText(value.toDouble()) : QString::number(value.toDouble(), 'g', 15);
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QString text = decoder(bytes);
        if (!decoder.hasError())
            return text;
        return u"X'"_s + QString::fromLatin1(bytes.toHex().toUpper()) + u'\'';
    }
    default:
        return value.toString();
    }
}

} // namespace db
