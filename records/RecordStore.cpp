#include "records/RecordStore.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "records/ForwardingRecordStore.h"
#include "records/PostgresServer.h"
#include "records/SqliteRecordStore.h"

namespace {
namespace fs = std::filesystem;

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    const passwd* user = getpwuid(getuid());
    return user && user->pw_dir ? user->pw_dir : ".";
}

// The libpq connection of a PostgreSQL location: the URI or the keyword/value string itself,
// or "" (libpq's defaults) for the bare scheme.
std::string Connection(const std::string& where) {
    return where == "postgresql:" || where == "postgres:" ? std::string() : where;
}

std::unique_ptr<SqliteRecordStore> OpenLocal(std::string path, std::string& error) {
    if (path.empty()) {
        path = DefaultRecordsPath();
        std::error_code ec;
        fs::create_directories(fs::path(path).parent_path(), ec);
        if (ec) {
            error = "Cannot make the folder of the records database " + path + ": " + ec.message();
            return nullptr;
        }
    }
    return SqliteRecordStore::Open(path, error);
}

// The shared server as a listing reads it: straight from the server, with no local file and no
// forwarder; it writes no rows.
class ServerReader : public RecordStore {
public:
    explicit ServerReader(std::unique_ptr<PostgresServer> server) : server_(std::move(server)) {}

    bool Begin(UnitRecord&, std::string& error) override { return ReadOnly(error); }
    bool Complete(UnitRecord&, std::string& error) override { return ReadOnly(error); }
    bool MarkInterrupted(const std::string&, int&, std::string& error) override {
        return ReadOnly(error);
    }
    bool AlreadyPassed(const std::string& serial, const std::string& job,
                       const std::string& fileSha256, bool& passed, std::string& error) override {
        return server_->AlreadyPassed(serial, job, fileSha256, passed, error);
    }
    bool List(const RecordFilter& filter, std::vector<UnitRecord>& rows,
              std::string& error) override {
        return server_->List(filter, rows, error);
    }
    // Traces stay in the stations' local files, never on the server.
    std::string TraceFile(const std::string&) const override { return ""; }
    bool KeepTrace(const std::string&, std::string& error) override { return ReadOnly(error); }
    bool Trace(const std::string&, std::string& fullId, std::string& text,
               std::string& error) override {
        fullId.clear();
        text.clear();
        error = "Line traces are kept in each station's own file, not on " + Describe() +
                ": name that file with --records.";
        return false;
    }
    std::string Describe() const override { return server_->Describe(); }

private:
    bool ReadOnly(std::string& error) const {
        error = "The records database " + Describe() + " was opened for reading only";
        return false;
    }

    const std::unique_ptr<PostgresServer> server_;
};

// "word=" at the start, as every keyword/value connection string begins ("host=db ...").
bool StartsWithKeyword(const std::string& where) {
    std::size_t i = 0;
    while (i < where.size() && std::isspace(static_cast<unsigned char>(where[i])))
        ++i;
    const std::size_t word = i;
    while (i < where.size() &&
           (std::isalnum(static_cast<unsigned char>(where[i])) || where[i] == '_'))
        ++i;
    if (i == word || std::isdigit(static_cast<unsigned char>(where[word]))) return false;
    while (i < where.size() && std::isspace(static_cast<unsigned char>(where[i])))
        ++i;
    return i < where.size() && where[i] == '=';
}

std::unique_ptr<PostgresServer> Server(const std::string& where, std::string& error) {
    auto server = PostgresServer::Create(Connection(where), error);
    // A file name taken for a connection string says how it is named as a file.
    if (!server && where.find("://") == std::string::npos)
        error += " (a file whose name begins \"word=\" is named as ./word=...)";
    return server;
}
}  // namespace

bool IsPostgresLocation(const std::string& where) {
    // The shape decides, not whether libpq accepts the text: a connection string with a
    // mistyped keyword must be refused with libpq's reason, never taken for a file name (its
    // password would become a file's name). A file whose name begins "word=" is named "./word=".
    return where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0 ||
           where == "postgresql:" || where == "postgres:" || StartsWithKeyword(where);
}

std::string DefaultRecordsPath() {
    // A relative XDG_DATA_HOME is to be ignored, as the base-directory rules say.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const fs::path data =
        xdg && *xdg == '/' ? fs::path(xdg) : fs::path(HomeFolder()) / ".local" / "share";
    return (data / "korvanta-configurator" / "records.sqlite").string();
}

std::unique_ptr<RecordStore> OpenRecordStore(const std::string& where, std::string& error,
                                             const RecordStoreOptions& options) {
    error.clear();
    if (!IsPostgresLocation(where)) return OpenLocal(where, error);
    auto server = Server(where, error);
    if (!server) return nullptr;
    auto local = OpenLocal(options.localFile, error);
    if (!local) return nullptr;
    // One attempt now: a server with a newer schema is refused before a station relies on it;
    // one that cannot be reached is tried again by the forwarder.
    std::string firstError;
    if (!server->Connect(firstError) && server->Refused()) {
        error = firstError;
        return nullptr;
    }
    return std::make_unique<ForwardingRecordStore>(std::move(local), std::move(server), options,
                                                   firstError);
}

std::unique_ptr<RecordStore> OpenRecordReader(const std::string& where, std::string& error) {
    error.clear();
    if (!IsPostgresLocation(where))
        return SqliteRecordStore::OpenReader(where.empty() ? DefaultRecordsPath() : where, error);
    auto server = Server(where, error);
    if (!server) return nullptr;
    // Connected now: a listing has nothing to do without the server.
    if (!server->Connect(error)) return nullptr;
    return std::make_unique<ServerReader>(std::move(server));
}
