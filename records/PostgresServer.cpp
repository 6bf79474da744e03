#include "records/PostgresServer.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <optional>
#include <utility>

#include "records/ConnectionText.h"
#include "records/RecordSchema.h"

namespace {

// Long enough for a server across a network, short enough that a station hears of a server
// that is gone before its operator wonders. A URI's own connect_timeout wins.
constexpr const char* kConnectTimeoutSeconds = "5";
// Held while a schema is checked and migrated: two stations starting together migrate once.
constexpr const char* kMigrationLock = "SELECT pg_advisory_xact_lock(7304215121)";
constexpr const char* kUpsertStatement = "records_upsert";

using Result = std::unique_ptr<PGresult, void (*)(PGresult*)>;

Result Wrap(PGresult* result) {
    return Result(result, &PQclear);
}

bool Succeeded(const Result& result) {
    const ExecStatusType status = PQresultStatus(result.get());
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::string UpsertSql() {
    const auto& columns = record_schema::kColumns;
    std::string values, updates;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        values.append("$").append(std::to_string(i + 1)).append(", ");
        if (i > 0) updates += columns[i] + " = EXCLUDED." + columns[i] + ", ";
    }
    const std::string revision = std::string("$") + std::to_string(columns.size() + 1);
    return "INSERT INTO records (" + record_schema::ColumnList() + ", revision) VALUES (" + values +
           revision + ") ON CONFLICT (id) DO UPDATE SET " + updates +
           "revision = EXCLUDED.revision WHERE records.revision < EXCLUDED.revision";
}

std::vector<UnitRecord> Rows(const Result& result) {
    std::vector<UnitRecord> rows;
    const int columns = PQnfields(result.get());
    for (int r = 0; r < PQntuples(result.get()); ++r) {
        std::vector<std::optional<std::string>> fields;
        for (int c = 0; c < columns; ++c) {
            if (PQgetisnull(result.get(), r, c))
                fields.emplace_back();
            else
                fields.emplace_back(PQgetvalue(result.get(), r, c));
        }
        rows.push_back(record_schema::RowFromFields(fields));
    }
    return rows;
}

// Parameters for PQexecParams from texts (null for SQL NULL); the texts must outlive the call.
std::vector<const char*> Params(const std::vector<std::optional<std::string>>& values) {
    std::vector<const char*> params;
    for (const auto& v : values)
        params.push_back(v ? v->c_str() : nullptr);
    return params;
}

}  // namespace

PostgresServer::PostgresServer(std::string connection)
    : connection_(std::move(connection)), secrets_(ConnectionSecrets(connection_)) {}

std::unique_ptr<PostgresServer> PostgresServer::Create(const std::string& connection,
                                                       std::string& error) {
    std::unique_ptr<PostgresServer> server(new PostgresServer(connection));
    char* message = nullptr;
    PQconninfoOption* options = PQconninfoParse(connection.c_str(), &message);
    if (!options) {
        error =
            server->Failure("Cannot use the records database", message ? message : "out of memory");
        PQfreemem(message);
        return nullptr;
    }
    PQconninfoFree(options);
    return server;
}

PostgresServer::~PostgresServer() {
    PQfinish(conn_);
}

std::string PostgresServer::Describe() const {
    return RedactConnection(connection_.empty() ? "postgresql:" : connection_);
}

std::string PostgresServer::ConnectionError() const {
    return conn_ ? PQerrorMessage(conn_) : "out of memory";
}

std::string PostgresServer::Failure(const std::string& what, const std::string& reason) {
    if (conn_ && PQstatus(conn_) != CONNECTION_OK) {
        PQfinish(conn_);
        conn_ = nullptr;
    }
    return ScrubSecrets(what + " " + Describe() + ": " + Trimmed(reason), secrets_);
}

bool PostgresServer::Connect(std::string& error) {
    if (conn_ && PQstatus(conn_) == CONNECTION_OK) return true;
    PQfinish(conn_);
    // Keywords before "dbname" are defaults that the connection's own parameters override.
    // Keepalives and the TCP user timeout end a connection to a server that vanished without a
    // word (a cable, a crashed host) in seconds rather than the system's minutes.
    const char* keywords[] = {
        "fallback_application_name", "connect_timeout",  "keepalives_idle", "keepalives_interval",
        "keepalives_count",          "tcp_user_timeout", "dbname",          nullptr};
    const char* values[] = {"korvanta-configurator",
                            kConnectTimeoutSeconds,
                            "5",
                            "2",
                            "3",
                            "10000",
                            connection_.c_str(),
                            nullptr};
    conn_ = PQconnectdbParams(keywords, values, 1);
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
        error = Failure("Cannot reach the records database", ConnectionError());
        PQfinish(conn_);
        conn_ = nullptr;
        return false;
    }
    if (!Migrate(error)) {
        PQfinish(conn_);
        conn_ = nullptr;
        return false;
    }
    const Result prepared =
        Wrap(PQprepare(conn_, kUpsertStatement, UpsertSql().c_str(),
                       static_cast<int>(record_schema::kColumns.size() + 1), nullptr));
    if (!Succeeded(prepared)) {
        error = Failure("Cannot write to the records database", ConnectionError());
        return false;
    }
    return true;
}

bool PostgresServer::Migrate(std::string& error) {
    auto exec = [this](const char* sql) { return Succeeded(Wrap(PQexec(conn_, sql))); };
    if (!exec("BEGIN") || !exec(kMigrationLock)) {
        error = Failure("Cannot lock the records database", ConnectionError());
        return false;
    }
    int version = 0;
    const Result found = Wrap(PQexec(conn_, "SELECT to_regclass('schema_version') IS NOT NULL"));
    bool ok = Succeeded(found) && PQntuples(found.get()) == 1;
    if (ok && PQgetvalue(found.get(), 0, 0)[0] == 't') {
        const Result read = Wrap(PQexec(conn_, "SELECT max(version) FROM schema_version"));
        ok = Succeeded(read) && PQntuples(read.get()) == 1;
        if (ok) version = std::atoi(PQgetvalue(read.get(), 0, 0));
    }
    if (ok && version > record_schema::kVersion) {
        exec("ROLLBACK");
        refused_ = true;
        error = "The records database " + Describe() + " has schema version " +
                std::to_string(version) + ", newer than this program knows (" +
                std::to_string(record_schema::kVersion) +
                "); it was left untouched. Use the configurator that wrote it, or a newer one.";
        return false;
    }
    for (int v = version; ok && v < record_schema::kVersion; ++v)
        ok = exec(record_schema::kPostgresSteps[static_cast<std::size_t>(v)]);
    if (ok && exec("COMMIT")) return true;
    error = Failure("Cannot update the schema of the records database", ConnectionError());
    if (conn_) exec("ROLLBACK");
    return false;
}

bool PostgresServer::Upsert(const std::vector<RevisedRow>& rows, std::string& error) {
    if (!Connect(error)) return false;
    bool ok = Succeeded(Wrap(PQexec(conn_, "BEGIN")));
    for (std::size_t i = 0; ok && i < rows.size(); ++i) {
        auto values = record_schema::RowFields(rows[i].row);
        values.emplace_back(std::to_string(rows[i].revision));
        const auto params = Params(values);
        ok = Succeeded(Wrap(PQexecPrepared(conn_, kUpsertStatement, static_cast<int>(params.size()),
                                           params.data(), nullptr, nullptr, 0)));
    }
    // A COMMIT whose answer is lost leaves the rows pending: they are sent again, and the
    // revision check makes that harmless.
    if (ok && Succeeded(Wrap(PQexec(conn_, "COMMIT")))) return true;
    error = Failure("Cannot write to the records database", ConnectionError());
    if (conn_) Wrap(PQexec(conn_, "ROLLBACK"));
    return false;
}

bool PostgresServer::List(const RecordFilter& filter, std::vector<UnitRecord>& rows,
                          std::string& error) {
    rows.clear();
    if (!Connect(error)) return false;
    std::vector<std::optional<std::string>> values = {std::to_string(filter.sinceMs)};
    std::string sql =
        "SELECT " + record_schema::ColumnList() + " FROM records WHERE started_ms >= $1";
    auto add = [&](const char* column, const std::string& value) {
        values.emplace_back(value);
        sql += std::string(" AND ") + column + " = $" + std::to_string(values.size());
    };
    if (!filter.serial.empty()) add("serial", filter.serial);
    if (filter.verdict) add("verdict", VerdictToken(*filter.verdict));
    if (!filter.result.empty()) add("result", filter.result);
    sql += " ORDER BY started_ms, id";
    const auto params = Params(values);
    const Result result = Wrap(PQexecParams(conn_, sql.c_str(), static_cast<int>(params.size()),
                                            nullptr, params.data(), nullptr, nullptr, 0));
    if (!Succeeded(result)) {
        error = Failure("Cannot read the records database", ConnectionError());
        return false;
    }
    rows = Rows(result);
    return true;
}

bool PostgresServer::AlreadyPassed(const std::string& serial, const std::string& job,
                                   const std::string& fileSha256, bool& passed,
                                   std::string& error) {
    passed = false;
    if (serial.empty()) return true;
    if (!Connect(error)) return false;
    const char* params[] = {serial.c_str(), job.c_str(), fileSha256.c_str()};
    const Result result = Wrap(
        PQexecParams(conn_,
                     "SELECT 1 FROM records WHERE serial = $1 AND job = $2 AND file_sha256 = $3 "
                     "AND verdict = 'passed' LIMIT 1",
                     3, nullptr, params, nullptr, nullptr, 0));
    if (!Succeeded(result)) {
        error = Failure("Cannot read the records database", ConnectionError());
        return false;
    }
    passed = PQntuples(result.get()) > 0;
    return true;
}
