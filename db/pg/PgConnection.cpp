#include "db/pg/PgConnection.h"

#include "db/pg/PgErrors.h"

#include <QLoggingCategory>
#include <QSysInfo>
#include <QtEndian>
#include <libpq-fe.h>
#include <vector>

using namespace Qt::StringLiterals;

Q_DECLARE_LOGGING_CATEGORY(lcDb)

namespace db::pg {

namespace {

constexpr unsigned kByteaOid = 17;
constexpr unsigned kInt8Oid = 20;
constexpr const char *kConnectTimeoutSeconds = "10";

// Notices ("extension already exists, skipping") would go to stderr by default.
void logNotice(void *, const PGresult *result)
{
    const QByteArrayView severity(PQresultErrorField(result, PG_DIAG_SEVERITY_NONLOCALIZED));
    const QString message = QString::fromUtf8(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
    if (severity == "WARNING")
        qCWarning(lcDb).noquote() << "server:" << message;
    else
        qCDebug(lcDb).noquote() << "server:" << message;
}

// The workstation shows in the server's activity view (63 bytes at the most).
QByteArray applicationName()
{
    return (u"Cartulo "_s + QSysInfo::machineHostName()).toUtf8().left(63);
}

// A COPY keeps the connection busy until its data is sent or read: end it here, so the
// connection serves the next statement.
void abandonCopy(PGconn *conn, ExecStatusType status)
{
    if (status == PGRES_COPY_OUT) {
        char *buffer = nullptr;
        while (PQgetCopyData(conn, &buffer, 0) > 0) {
            PQfreemem(buffer);
            buffer = nullptr;
        }
    } else {
        PQputCopyEnd(conn, "COPY não é aceito aqui");
    }
    while (PgResult(PQgetResult(conn)).get()) {}
}

} // namespace

PgParam PgParam::text(const QString &value)
{
    return {value.toUtf8(), false, 0};
}

PgParam PgParam::bytes(const QByteArray &value)
{
    return {value, true, kByteaOid};
}

PgParam PgParam::integer(qint64 value)
{
    QByteArray bigEndian(sizeof(qint64), Qt::Uninitialized);
    qToBigEndian(value, bigEndian.data());
    return {bigEndian, true, kInt8Oid};
}

PgParam PgParam::null()
{
    return {};
}

void PgConnection::Finish::operator()(pg_conn *conn) const noexcept
{
    PQfinish(conn);
}

PgConnection::PgConnection(const ServerAddress &address) : m_address(address)
{
    const QByteArray host = address.host.toUtf8();
    const QByteArray port = address.port ? QByteArray::number(*address.port) : QByteArray();
    const QByteArray database = address.database.toUtf8();
    const QByteArray role = address.role.toUtf8();
    const QByteArray password = address.password.value_or(QString()).toUtf8();
    const QByteArray application = applicationName();
    std::vector<const char *> keys;
    std::vector<const char *> values;
    // Every value outlives the call: the byte arrays above and string literals.
    auto add = [&](const char *key, const char *value) {
        keys.push_back(key);
        values.push_back(value);
    };
    add("host", host.constData());
    if (address.port)
        add("port", port.constData());
    add("dbname", database.constData());
    add("user", role.constData());
    if (address.password) // otherwise libpq's password file and environment
        add("password", password.constData());
    add("client_encoding", "UTF8");
    add("fallback_application_name", application.constData());
    add("connect_timeout", kConnectTimeoutSeconds);
    keys.push_back(nullptr);
    values.push_back(nullptr);

    m_conn.reset(PQconnectdbParams(keys.data(), values.data(), 0));
    if (!m_conn)
        throw DbError(u"Sem memória para conectar ao servidor PostgreSQL."_s, ErrorKind::ConnectionFailed);
    if (PQstatus(m_conn.get()) != CONNECTION_OK) {
        const DbError refused = connectionErrorOf(m_conn.get(), ErrorKind::ConnectionFailed);
        throw DbError(u"Não foi possível conectar a %1: %2"_s.arg(address.displayName(), refused.message()),
                      ErrorKind::ConnectionFailed);
    }
    PQsetNoticeReceiver(m_conn.get(), logNotice, nullptr);
    // Compiling a plan costs tens of milliseconds, more than any statement of the program
    // gains from it (the setting exists from version 11 on).
    if (serverVersion() >= 110000)
        exec(u"SET jit = off"_s);
}

PgConnection::~PgConnection() = default;
PgConnection::PgConnection(PgConnection &&) noexcept = default;
PgConnection &PgConnection::operator=(PgConnection &&) noexcept = default;

int PgConnection::serverVersion() const
{
    return PQserverVersion(m_conn.get());
}

bool PgConnection::inTransaction() const
{
    return PQtransactionStatus(m_conn.get()) != PQTRANS_IDLE;
}

PgResult PgConnection::exec(const QString &sql, const QList<PgParam> &params, ResultFormat format)
{
    if (!m_conn)
        throw DbError(u"A conexão com o servidor PostgreSQL não está aberta."_s, ErrorKind::ConnectionFailed);
    const QByteArray text = sql.toUtf8();
    std::vector<unsigned> types;
    std::vector<const char *> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    for (const PgParam &param : params) {
        types.push_back(param.type);
        values.push_back(param.value ? param.value->constData() : nullptr);
        lengths.push_back(param.value ? int(param.value->size()) : 0);
        formats.push_back(param.binary ? 1 : 0);
    }
    PgResult result(PQexecParams(m_conn.get(), text.constData(), int(params.size()), types.data(),
                                 values.data(), lengths.data(), formats.data(),
                                 format == ResultFormat::Binary ? 1 : 0));
    if (!result.get()) {
        const bool broken = PQstatus(m_conn.get()) != CONNECTION_OK;
        throw connectionErrorOf(m_conn.get(), broken ? ErrorKind::ConnectionFailed : ErrorKind::Other);
    }
    const ExecStatusType status = PQresultStatus(result.get());
    switch (status) {
    case PGRES_COMMAND_OK:
    case PGRES_TUPLES_OK:
        return result;
    case PGRES_EMPTY_QUERY:
        throw DbError(u"Instrução SQL vazia."_s);
    case PGRES_COPY_IN:
    case PGRES_COPY_OUT:
    case PGRES_COPY_BOTH:
        abandonCopy(m_conn.get(), status);
        throw DbError(u"COPY não é aceito aqui."_s);
    default:
        throw errorOf(result.get());
    }
}

PgTransaction::PgTransaction(PgConnection &connection) : m_connection(connection)
{
    m_connection.exec(u"BEGIN"_s);
}

PgTransaction::~PgTransaction()
{
    if (!m_open)
        return;
    try {
        m_connection.exec(u"ROLLBACK"_s);
    } catch (const DbError &error) {
        // The server ends the transaction with the broken connection anyway.
        qCWarning(lcDb).noquote() << "rollback failed:" << error.message();
    }
}

void PgTransaction::commit()
{
    m_open = false;
    m_connection.exec(u"COMMIT"_s);
}

} // namespace db::pg
