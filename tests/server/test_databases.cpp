#include "test_databases.h"

#include <libpq-fe.h>
#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>

#include "server_process.h"

namespace {

struct Cluster {
  std::string directory;
  std::string binaries;
  std::string runAs;  // the command prefix that runs a program as the cluster's owner
  int port = 0;
  int databases = 0;
  bool running = false;

  ~Cluster() {
    if (running) Run("pg_ctl -D " + directory + "/data -s -w -m immediate stop");
    std::error_code ignored;
    if (!directory.empty()) std::filesystem::remove_all(directory, ignored);
  }

  bool Run(const std::string& command) const {
    std::string line = runAs + binaries + "/" + command + " >>" + directory + "/log 2>&1";
    return std::system(line.c_str()) == 0;
  }
};

std::string CommandOutput(const char* command) {
  std::string text;
  FILE* output = popen(command, "r");
  if (!output) return text;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, output)) text += buffer;
  pclose(output);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

bool StartCluster(Cluster& cluster) {
  char pattern[] = "/tmp/kestrow-postgres-XXXXXX";
  if (!mkdtemp(pattern)) return false;
  cluster.directory = pattern;
  cluster.binaries = CommandOutput("pg_config --bindir");
  if (geteuid() == 0) {
    passwd* owner = getpwnam("postgres");
    if (!owner || chown(pattern, owner->pw_uid, owner->pw_gid) != 0) return false;
    cluster.runAs = "runuser -u postgres -- ";
  }
  cluster.port = ClosedLoopbackPort();
  std::string data = cluster.directory + "/data";
  if (!cluster.Run("initdb -D " + data + " -A trust -U kestrow -E UTF8 --locale=C --no-sync")) {
    return false;
  }
  cluster.running =
      cluster.Run("pg_ctl -D " + data + " -s -w -l " + cluster.directory + "/server.log -o \"-p " +
                  std::to_string(cluster.port) + " -k " + cluster.directory +
                  " -c listen_addresses=127.0.0.1 -c max_connections=200 -F\" start");
  return cluster.running;
}

std::string ClusterUri(const Cluster& cluster, const std::string& database) {
  return "postgresql://kestrow@127.0.0.1:" + std::to_string(cluster.port) + "/" + database;
}

}  // namespace

std::string QueryPostgres(const std::string& uri, const std::string& sql) {
  PGconn* connection = PQconnectdb(uri.c_str());
  PGresult* result = PQexec(connection, sql.c_str());
  std::string value;
  ExecStatusType status = PQresultStatus(result);
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
    value = std::string("ERROR: ") + PQerrorMessage(connection);
  } else if (PQntuples(result) > 0) {
    value = PQgetvalue(result, 0, 0);
  }
  PQclear(result);
  PQfinish(connection);
  return value;
}

std::string NewPostgresDatabase() {
  static std::unique_ptr<Cluster> cluster;
  if (!cluster) {
    cluster = std::make_unique<Cluster>();
    StartCluster(*cluster);
  }
  if (!cluster->running) return std::string();
  std::string name = "scores" + std::to_string(++cluster->databases);
  std::string created = QueryPostgres(ClusterUri(*cluster, "postgres"), "CREATE DATABASE " + name);
  return created.empty() ? ClusterUri(*cluster, name) : std::string();
}

std::string NewStoreDatabase(const std::string& engine) {
  return engine == "postgresql" ? NewPostgresDatabase() : TemporaryDatabasePath();
}

int64_t CountStoredResults(const std::string& database, const std::string& where) {
  std::string sql = "SELECT count(*) FROM results WHERE " + where;
  if (database.rfind("postgresql://", 0) == 0) {
    std::string count = QueryPostgres(database, sql);
    return count.empty() || count[0] == 'E' ? -1 : std::atoll(count.c_str());
  }
  sqlite3* connection = nullptr;
  sqlite3_open_v2(database.c_str(), &connection, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(connection, sql.c_str(), -1, &statement, nullptr);
  int64_t count = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
  sqlite3_finalize(statement);
  sqlite3_close(connection);
  return count;
}

std::set<std::string> StoredNames(const std::string& database) {
  std::set<std::string> names;
  if (database.rfind("postgresql://", 0) == 0) {
    std::istringstream lines(QueryPostgres(
        database, "SELECT string_agg(convert_from(name, 'SQL_ASCII'), E'\\n') FROM results"));
    for (std::string name; std::getline(lines, name);) names.insert(name);
    return names;
  }
  sqlite3* connection = nullptr;
  sqlite3_open_v2(database.c_str(), &connection, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(connection, "SELECT name FROM results", -1, &statement, nullptr);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    names.emplace(static_cast<const char*>(sqlite3_column_blob(statement, 0)),
                  static_cast<size_t>(sqlite3_column_bytes(statement, 0)));
  }
  sqlite3_finalize(statement);
  sqlite3_close(connection);
  return names;
}

namespace {

// The first column of the first row of a query on an SQLite file, as text ("" when none).
std::string QuerySqlite(const std::string& path, const std::string& sql) {
  sqlite3* connection = nullptr;
  sqlite3_open_v2(path.c_str(), &connection, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(connection, sql.c_str(), -1, &statement, nullptr);
  std::string value;
  if (sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_text(statement, 0)) {
    value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  }
  sqlite3_finalize(statement);
  sqlite3_close(connection);
  return value;
}

std::string Query(const std::string& database, const std::string& sql) {
  if (database.rfind("postgresql://", 0) == 0) return QueryPostgres(database, sql);
  return QuerySqlite(database, sql);
}

}  // namespace

std::string StoredStatus(const std::string& database, const std::string& name) {
  std::string text = database.rfind("postgresql://", 0) == 0 ? "convert_from(name, 'SQL_ASCII')"
                                                             : "CAST(name AS TEXT)";
  return Query(database, "SELECT status FROM results WHERE " + text + " = '" + name + "'");
}

void KeepIssuedSeed(const std::string& database, uint64_t seed, int64_t issuedMs) {
  Query(database, "INSERT INTO seeds (seed, issued, client) VALUES (" +
                      std::to_string(static_cast<int64_t>(seed)) + ", " + std::to_string(issuedMs) +
                      ", '127.0.0.1')");
}
