#include "db/pg/PgRoles.h"

#include "db/DbError.h"
#include "db/pg/PgConnection.h"

#include <QLoggingCategory>

using namespace Qt::StringLiterals;

Q_DECLARE_LOGGING_CATEGORY(lcDb)

namespace db::pg::roles {

namespace {

struct Right {
    QStringView role;
    QString table;
    QString privileges; // as GRANT names them, comma separated
};

// Each group also holds the rights of the one below it (membership).
QList<Right> rights()
{
    return {
        {kConsulta, u"processo"_s, u"SELECT"_s},
        {kConsulta, u"documento"_s, u"SELECT"_s},
        {kConsulta, u"tipo_arq"_s, u"SELECT"_s},
        {kConsulta, u"orgao"_s, u"SELECT"_s},
        {kConsulta, u"lauda"_s, u"SELECT"_s},
        {kConsulta, u"lauda_excluida"_s, u"SELECT"_s},
        {kConsulta, u"cartulo_formato"_s, u"SELECT"_s},
        {kConsulta, u"lauda_texto"_s, u"SELECT"_s},
        {kConsulta, kHistoryTable.toString(), u"SELECT"_s},
        {kConsulta, kHistoryView.toString(), u"SELECT"_s},
        {kArquivista, u"processo"_s, u"INSERT,UPDATE"_s},
        {kArquivista, u"documento"_s, u"INSERT,UPDATE"_s},
        // Removing a page, reordering, turning, putting a cancelled inclusion's pages aside.
        {kArquivista, u"lauda"_s, u"INSERT,UPDATE,DELETE"_s},
        {kArquivista, u"lauda_excluida"_s, u"INSERT,UPDATE,DELETE"_s},
        {kArquivista, u"lauda_texto"_s, u"INSERT,UPDATE,DELETE"_s},
        {kAdmin, u"processo"_s, u"DELETE"_s},
        {kAdmin, u"documento"_s, u"DELETE"_s},
        {kAdmin, u"tipo_arq"_s, u"INSERT,UPDATE,DELETE"_s},
        {kAdmin, u"orgao"_s, u"INSERT,UPDATE,DELETE"_s},
    };
}

const QStringList &groups()
{
    static const QStringList names{kConsulta.toString(), kArquivista.toString(), kAdmin.toString()};
    return names;
}

QStringList historyStatements()
{
    const QString table = kHistoryTable.toString();
    return {
        u"CREATE TABLE IF NOT EXISTS %1 (\n"
        u"  id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,\n"
        u"  quando timestamp with time zone NOT NULL DEFAULT clock_timestamp(),\n"
        u"  quem text NOT NULL DEFAULT session_user,\n"
        u"  estacao text,\n"
        u"  operacao text NOT NULL,\n"
        u"  tabela text NOT NULL,\n"
        u"  chave text,\n"
        u"  registro text,\n"
        u"  antes text,\n"
        u"  depois text\n)"_s.arg(table),
        u"COMMENT ON TABLE %1 IS 'Histórico de alterações, escrito só pelos gatilhos'"_s.arg(table),
        // The screens ask for one record's history, newest first.
        u"CREATE INDEX IF NOT EXISTS %1_registro ON %1 (registro, id)"_s.arg(table),
        u"CREATE INDEX IF NOT EXISTS %1_tabela_chave ON %1 (tabela, chave)"_s.arg(table),
        u"CREATE OR REPLACE VIEW %1 AS SELECT to_char(quando, 'YYYY-MM-DD HH24:MI:SS') AS quando, quem, "
        u"estacao, operacao, tabela, chave, antes, depois FROM %2"_s.arg(kHistoryView, table),
        // Written as the owner (SECURITY DEFINER), so no group needs to write the history;
        // session_user stays the login that made the change.
        u"CREATE OR REPLACE FUNCTION cartulo_historico_registro() RETURNS trigger LANGUAGE plpgsql "
        u"SECURITY DEFINER SET search_path = pg_catalog, public AS $f$\n"
        u"DECLARE antes jsonb; depois jsonb; linha jsonb; chave text;\n"
        u"BEGIN\n"
        u"  IF TG_OP <> 'INSERT' THEN antes := to_jsonb(OLD); END IF;\n"
        u"  IF TG_OP <> 'DELETE' THEN depois := to_jsonb(NEW); END IF;\n"
        u"  IF TG_OP = 'UPDATE' AND antes = depois THEN RETURN NULL; END IF;\n"
        u"  linha := coalesce(depois, antes);\n"
        u"  chave := CASE TG_TABLE_NAME WHEN 'documento' THEN (linha->>'processo') || (linha->>'cod')\n"
        u"                              WHEN 'orgao' THEN NULL ELSE linha->>'cod' END;\n"
        u"  INSERT INTO %1 (quando, quem, estacao, operacao, tabela, chave, registro, antes, depois)\n"
        u"  VALUES (clock_timestamp(), session_user, nullif(current_setting('application_name', true), ''),\n"
        u"          CASE TG_OP WHEN 'INSERT' THEN 'inclusão' WHEN 'UPDATE' THEN 'alteração' ELSE 'exclusão' END,\n"
        u"          TG_TABLE_NAME, chave, coalesce(chave, TG_TABLE_NAME), antes::text, depois::text);\n"
        u"  RETURN NULL;\n"
        u"END $f$"_s.arg(table),
        // Pages: never the bytes, their size and SHA-256; a renumbering reads no image.
        u"CREATE OR REPLACE FUNCTION cartulo_historico_lauda() RETURNS trigger LANGUAGE plpgsql "
        u"SECURITY DEFINER SET search_path = pg_catalog, public AS $f$\n"
        u"DECLARE antes jsonb; depois jsonb; linha jsonb; imagem boolean; impressao boolean;\n"
        u"BEGIN\n"
        u"  imagem := TG_OP <> 'UPDATE' OR TG_ARGV[0] = 'imagem';\n"
        u"  impressao := imagem AND TG_TABLE_NAME = 'lauda';\n"
        u"  IF TG_OP <> 'INSERT' THEN\n"
        u"    antes := jsonb_build_object('processo', OLD.processo, 'documento', OLD.documento, 'numero', OLD.numero);\n"
        u"    IF imagem THEN antes := antes || jsonb_build_object('bytes', octet_length(OLD.imagem)); END IF;\n"
        u"    IF impressao THEN antes := antes || jsonb_build_object('sha256', encode(sha256(OLD.imagem), 'hex')); END IF;\n"
        u"  END IF;\n"
        u"  IF TG_OP <> 'DELETE' THEN\n"
        u"    depois := jsonb_build_object('processo', NEW.processo, 'documento', NEW.documento, 'numero', NEW.numero);\n"
        u"    IF imagem THEN depois := depois || jsonb_build_object('bytes', octet_length(NEW.imagem)); END IF;\n"
        u"    IF impressao THEN depois := depois || jsonb_build_object('sha256', encode(sha256(NEW.imagem), 'hex')); END IF;\n"
        u"  END IF;\n"
        u"  IF TG_OP = 'UPDATE' AND antes = depois THEN RETURN NULL; END IF;\n"
        u"  linha := coalesce(depois, antes);\n"
        u"  INSERT INTO %1 (quando, quem, estacao, operacao, tabela, chave, registro, antes, depois)\n"
        u"  VALUES (clock_timestamp(), session_user, nullif(current_setting('application_name', true), ''),\n"
        u"          CASE WHEN TG_TABLE_NAME = 'lauda_excluida' THEN\n"
        u"                 CASE TG_OP WHEN 'INSERT' THEN 'página posta de lado' WHEN 'DELETE' THEN 'página devolvida'\n"
        u"                 ELSE 'página posta de lado alterada' END\n"
        u"               WHEN TG_OP = 'INSERT' THEN 'página incluída'\n"
        u"               WHEN TG_OP = 'DELETE' THEN 'página removida'\n"
        u"               WHEN TG_ARGV[0] = 'imagem' THEN 'imagem da página alterada'\n"
        u"               ELSE 'página renumerada' END,\n"
        u"          TG_TABLE_NAME,\n"
        u"          (linha->>'processo') || (linha->>'documento') || lpad(linha->>'numero', 3, '0'),\n"
        u"          (linha->>'processo') || (linha->>'documento'), antes::text, depois::text);\n"
        u"  RETURN NULL;\n"
        u"END $f$"_s.arg(table),
        u"CREATE OR REPLACE FUNCTION cartulo_historico_imutavel() RETURNS trigger LANGUAGE plpgsql AS $f$\n"
        u"BEGIN\n"
        u"  RAISE EXCEPTION 'O histórico só recebe linhas novas: nenhuma pode ser alterada ou excluída'\n"
        u"    USING ERRCODE = '42501';\n"
        u"END $f$"_s,
        u"CREATE OR REPLACE TRIGGER historico_imutavel BEFORE UPDATE OR DELETE ON %1 "
        u"FOR EACH ROW EXECUTE FUNCTION cartulo_historico_imutavel()"_s.arg(table),
        u"CREATE OR REPLACE TRIGGER historico_imutavel_truncate BEFORE TRUNCATE ON %1 "
        u"FOR EACH STATEMENT EXECUTE FUNCTION cartulo_historico_imutavel()"_s.arg(table),
        u"CREATE OR REPLACE TRIGGER historico AFTER INSERT OR UPDATE OR DELETE ON processo "
        u"FOR EACH ROW EXECUTE FUNCTION cartulo_historico_registro()"_s,
        u"CREATE OR REPLACE TRIGGER historico AFTER INSERT OR UPDATE OR DELETE ON documento "
        u"FOR EACH ROW EXECUTE FUNCTION cartulo_historico_registro()"_s,
        u"CREATE OR REPLACE TRIGGER historico AFTER INSERT OR UPDATE OR DELETE ON tipo_arq "
        u"FOR EACH ROW EXECUTE FUNCTION cartulo_historico_registro()"_s,
        u"CREATE OR REPLACE TRIGGER historico AFTER INSERT OR UPDATE OR DELETE ON orgao "
        u"FOR EACH ROW EXECUTE FUNCTION cartulo_historico_registro()"_s,
        u"CREATE OR REPLACE TRIGGER historico AFTER INSERT OR DELETE ON lauda "
        u"FOR EACH ROW EXECUTE FUNCTION cartulo_historico_lauda()"_s,
        u"CREATE OR REPLACE TRIGGER historico_imagem AFTER UPDATE OF imagem ON lauda "
        u"FOR EACH ROW EXECUTE FUNCTION cartulo_historico_lauda('imagem')"_s,
        u"CREATE OR REPLACE TRIGGER historico_codigos AFTER UPDATE OF processo, documento, numero ON lauda "
        u"FOR EACH ROW EXECUTE FUNCTION cartulo_historico_lauda('codigos')"_s,
        u"CREATE OR REPLACE TRIGGER historico AFTER INSERT OR DELETE ON lauda_excluida "
        u"FOR EACH ROW EXECUTE FUNCTION cartulo_historico_lauda()"_s,
        u"REVOKE ALL ON %1, %2 FROM PUBLIC"_s.arg(table, kHistoryView),
    };
}

bool ownsArchive(PgConnection &connection)
{
    const PgResult result = connection.exec(
        u"SELECT pg_has_role(current_user, relowner, 'USAGE') FROM pg_class WHERE oid = 'processo'::regclass"_s);
    return result.rowCount() == 1 && result.text(0, 0) == u"t"_s;
}

QStringList missingGroups(PgConnection &connection)
{
    const PgResult result = connection.exec(
        u"SELECT n FROM unnest($1::text[]) AS n WHERE NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = n)"_s,
        {PgParam::text(u'{' + groups().join(u',') + u'}')});
    QStringList missing;
    for (int row = 0; row < result.rowCount(); ++row)
        missing << result.text(row, 0);
    return missing;
}

bool mayCreateRoles(PgConnection &connection)
{
    const PgResult result =
        connection.exec(u"SELECT rolcreaterole OR rolsuper FROM pg_roles WHERE rolname = current_user"_s);
    return result.rowCount() == 1 && result.text(0, 0) == u"t"_s;
}

// Workstations making the same archive at once: the second CREATE ROLE finds the first's.
void createGroup(PgConnection &connection, const QString &name)
{
    connection.exec(u"DO $d$ BEGIN CREATE ROLE %1 NOLOGIN; "
                    u"EXCEPTION WHEN duplicate_object OR unique_violation THEN NULL; END $d$"_s.arg(name));
}

void joinGroup(PgConnection &connection, QStringView member, QStringView group)
{
    const PgResult result = connection.exec(u"SELECT pg_has_role($1, $2, 'MEMBER')"_s,
                                            {PgParam::text(member.toString()), PgParam::text(group.toString())});
    if (result.text(0, 0) != u"t"_s)
        connection.exec(u"GRANT %1 TO %2"_s.arg(group, member));
}

// The rights not given yet, on the tables present now.
QList<Right> missingRights(PgConnection &connection)
{
    QList<Right> missing;
    for (const Right &right : rights()) {
        const PgResult result = connection.exec(
            u"SELECT to_regclass($2) IS NOT NULL AND NOT (SELECT bool_and(has_table_privilege($1, $2, p)) "
            u"FROM unnest(string_to_array($3, ',')) AS p)"_s,
            {PgParam::text(right.role.toString()), PgParam::text(right.table), PgParam::text(right.privileges)});
        if (result.text(0, 0) == u"t"_s)
            missing << right;
    }
    return missing;
}

} // namespace

bool hasHistory(PgConnection &connection)
{
    const PgResult result = connection.exec(u"SELECT to_regclass($1) IS NOT NULL AND to_regclass($2) IS NOT NULL"_s,
                                            {PgParam::text(kHistoryTable.toString()),
                                             PgParam::text(kHistoryView.toString())});
    return result.text(0, 0) == u"t"_s;
}

void ensureHistory(PgConnection &connection)
{
    for (const QString &statement : historyStatements())
        connection.exec(statement);
}

QStringList ensureRoles(PgConnection &connection)
{
    QStringList missing = missingGroups(connection);
    if (!missing.isEmpty() && mayCreateRoles(connection)) {
        for (const QString &name : std::as_const(missing))
            createGroup(connection, name);
        joinGroup(connection, kArquivista, kConsulta);
        joinGroup(connection, kAdmin, kArquivista);
        missing = missingGroups(connection);
    }
    for (const Right &right : missingRights(connection)) {
        if (!missing.contains(right.role.toString()))
            connection.exec(u"GRANT %1 ON %2 TO %3"_s.arg(right.privileges, right.table, right.role));
    }
    if (!missing.contains(kArquivista.toString()))
        connection.exec(u"GRANT USAGE ON ALL SEQUENCES IN SCHEMA public TO %1"_s.arg(kArquivista));
    return missing;
}

QString bringUpToDate(PgConnection &connection)
{
    if (!ownsArchive(connection))
        return hasHistory(connection) ? QString()
                                      : u"O servidor não guarda o histórico de alterações deste arquivo: "
                                        u"o dono do banco de dados deve executar cartulo-mkdb --atualizar."_s;
    const bool historyPresent = hasHistory(connection);
    if (historyPresent && missingGroups(connection).isEmpty() && missingRights(connection).isEmpty())
        return {};
    PgTransaction transaction(connection);
    if (!historyPresent)
        ensureHistory(connection);
    const QStringList missing = ensureRoles(connection);
    transaction.commit();
    if (missing.isEmpty())
        return {};
    qCWarning(lcDb) << "group roles missing:" << missing;
    return u"Faltam no servidor os grupos %1: um papel com CREATEROLE deve criá-los "
           u"(scripts/pg-setup-server.sh)."_s.arg(missing.join(u", "_s));
}

} // namespace db::pg::roles
