#include "records/RecordStore.h"

#include <pwd.h>
#include <unistd.h>

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

// The libpq connection of a PostgreSQL location: the URI itself, or "" (libpq's defaults)
// for the bare scheme.
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
}  // namespace

bool IsPostgresLocation(const std::string& where) {
    return where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0 ||
           where == "postgresql:" || where == "postgres:";
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
    auto server = PostgresServer::Create(Connection(where), error);
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
