// The shared records on a PostgreSQL server, through libpq. Not a store of its own: stations
// write to their local file and the forwarder upserts here; listings and "already passed"
// read here, so they see every station's units. One connection, not thread-safe: its owner
// serialises the calls. A connection that fails is dropped and made again on the next call.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "records/RecordStore.h"
#include "records/SqliteRecordStore.h"

struct pg_conn;

class PostgresServer {
public:
    // Checks the connection's syntax (no connection yet). `connection` is a libpq URI, a
    // keyword/value string, or "" for libpq's defaults (PG* variables, ~/.pgpass). Null with
    // `error` when it does not parse.
    static std::unique_ptr<PostgresServer> Create(const std::string& connection,
                                                  std::string& error);
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Connects when not connected and brings the schema up to date. A schema newer than this
    // program is refused untouched, and Refused() says so from then on.
    bool Connect(std::string& error);
    bool Refused() const { return refused_; }
    // Writes each row unless the server already holds the same or a later revision of it; one
    // transaction, so a batch is all there or not at all.
    bool Upsert(const std::vector<RevisedRow>& rows, std::string& error);
    bool List(const RecordFilter& filter, std::vector<UnitRecord>& rows, std::string& error);
    bool AlreadyPassed(const std::string& serial, const std::string& job,
                       const std::string& fileSha256, bool& passed, std::string& error);
    // The connection as the user gave it, its secrets hidden.
    std::string Describe() const;

private:
    PostgresServer(std::string connection);
    bool Migrate(std::string& error);
    // "<what> <connection>: <libpq's reason>", secrets scrubbed; drops a broken connection.
    std::string Failure(const std::string& what, const std::string& reason);
    std::string ConnectionError() const;

    const std::string connection_;
    const std::vector<std::string> secrets_;
    pg_conn* conn_ = nullptr;
    bool refused_ = false;
};
