#include "postgres_store.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>

namespace {

// The layout this server writes; a database of a later one is refused.
constexpr int kSchemaVersion = 1;
// The advisory lock held while the tables are created; store_result holds 7461002 while it ranks.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(7461001)";
// The channel store_result notifies when a result enters the list.
constexpr const char* kListen = "LISTEN kestrow_best";

constexpr const char* kSchema =
    "CREATE TABLE results ("
    "  id bigserial PRIMARY KEY,"
    "  name bytea NOT NULL,"
    "  time integer NOT NULL,"
    "  adapter text NOT NULL,"
    "  client text NOT NULL,"
    "  received bigint NOT NULL);"
    "CREATE TABLE best ("
    "  name bytea NOT NULL,"
    "  adapter text NOT NULL,"
    "  time integer NOT NULL,"
    "  result bigint NOT NULL,"
    "  PRIMARY KEY (name, adapter));"
    "CREATE INDEX best_by_time ON best (time, result);"
    // Keeps the result, makes it the best of its name and adapter when it is faster than their
    // earlier best, and ranks it: a result goes above the earlier ones of its time. The lock
    // is held to the commit, so each ranking sees every earlier one.
    "CREATE FUNCTION store_result(new_name bytea, new_time integer, new_adapter text,"
    "    new_client text, new_received bigint, listed integer) RETURNS integer"
    "  LANGUAGE plpgsql AS $$"
    "  DECLARE"
    "    stored bigint;"
    "    faster integer;"
    "  BEGIN"
    "    PERFORM pg_advisory_xact_lock(7461002);"
    "    INSERT INTO results (name, time, adapter, client, received)"
    "      VALUES (new_name, new_time, new_adapter, new_client, new_received)"
    "      RETURNING id INTO stored;"
    "    INSERT INTO best AS b VALUES (new_name, new_adapter, new_time, stored)"
    "      ON CONFLICT (name, adapter) DO UPDATE SET time = excluded.time, result = excluded.result"
    "      WHERE excluded.time < b.time;"
    "    IF NOT FOUND THEN RETURN 0; END IF;"
    "    SELECT count(*) INTO faster FROM (SELECT 1 FROM best WHERE time < new_time LIMIT listed) "
    "f;"
    "    IF faster >= listed THEN RETURN 0; END IF;"
    "    PERFORM pg_notify('kestrow_best', '');"
    "    RETURN faster + 1;"
    "  END $$;"
    "INSERT INTO kestrow_schema VALUES (1);";

// Runs a command; false with the server's message when it fails.
bool Execute(PGconn* connection, const char* sql, std::string* error) {
  PGresult* result = PQexec(connection, sql);
  ExecStatusType status = PQresultStatus(result);
  bool done = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  if (!done) *error = PQerrorMessage(connection);
  PQclear(result);
  return done;
}

// The layout found in the database, 0 when it has none yet; -1 on error.
int SchemaVersion(PGconn* connection, std::string* error) {
  if (!Execute(connection, "CREATE TABLE IF NOT EXISTS kestrow_schema (version integer NOT NULL)",
               error)) {
    return -1;
  }
  PGresult* result = PQexec(connection, "SELECT coalesce(max(version), 0) FROM kestrow_schema");
  int version = -1;
  if (PQresultStatus(result) == PGRES_TUPLES_OK) version = std::atoi(PQgetvalue(result, 0, 0));
  if (version < 0) *error = PQerrorMessage(connection);
  PQclear(result);
  return version;
}

// Creates the tables when the database has none, in a transaction that servers starting at the
// same time take in turn.
bool CreateTables(PGconn* connection, std::string* error) {
  if (!Execute(connection, "SET client_min_messages TO warning", error) ||
      !Execute(connection, "BEGIN", error) || !Execute(connection, kSchemaLock, error)) {
    return false;
  }
  int version = SchemaVersion(connection, error);
  bool ready = version == kSchemaVersion || (version == 0 && Execute(connection, kSchema, error));
  if (version > kSchemaVersion) {
    *error = "written by a later kestrow-scores (layout " + std::to_string(version) + ")";
  }
  if (ready) return Execute(connection, "COMMIT", error);
  std::string ignored;
  Execute(connection, "ROLLBACK", &ignored);
  return false;
}

// Prepares the statements and listens for changes of the list on a new session.
bool StartSession(PGconn* connection, std::string* error) {
  PGresult* store =
      PQprepare(connection, "store", "SELECT store_result($1, $2::integer, $3, $4, $5::bigint, $6)",
                0, nullptr);
  bool prepared = PQresultStatus(store) == PGRES_COMMAND_OK;
  PQclear(store);
  PGresult* best =
      PQprepare(connection, "best",
                "SELECT name, time FROM best ORDER BY time, result DESC LIMIT $1", 0, nullptr);
  prepared = prepared && PQresultStatus(best) == PGRES_COMMAND_OK;
  PQclear(best);
  if (!prepared) {
    *error = PQerrorMessage(connection);
    return false;
  }
  return Execute(connection, kListen, error);
}

// Connects again when the connection was lost.
void Recover(PostgresStore& store) {
  if (PQstatus(store.connection) != CONNECTION_BAD) return;
  store.bestChanged = true;
  PQreset(store.connection);
  std::string ignored;
  if (PQstatus(store.connection) == CONNECTION_OK) StartSession(store.connection, &ignored);
}

// Runs a prepared statement, on a new connection when the last one was lost; null with the
// message on failure.
PGresult* RunPrepared(PostgresStore& store, const char* name, int count, const char* const* values,
                      const int* lengths, const int* formats, int resultFormat,
                      std::string* error) {
  PGresult* result =
      PQexecPrepared(store.connection, name, count, values, lengths, formats, resultFormat);
  if (PQresultStatus(result) == PGRES_TUPLES_OK) return result;
  *error = PQerrorMessage(store.connection);
  PQclear(result);
  Recover(store);
  return nullptr;
}

int32_t ReadNetworkInt(const char* bytes) {
  uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return static_cast<int32_t>(ntohl(value));
}

}  // namespace

bool OpenPostgresStore(PostgresStore& store, const std::string& uri, std::string* error) {
  store.bestChanged = true;
  store.connection = PQconnectdb(uri.c_str());
  bool ready = PQstatus(store.connection) == CONNECTION_OK;
  if (!ready) *error = PQerrorMessage(store.connection);
  ready = ready && CreateTables(store.connection, error) && StartSession(store.connection, error);
  if (ready) return true;
  ClosePostgresStore(store);
  return false;
}

void ClosePostgresStore(PostgresStore& store) {
  PQfinish(store.connection);
  store.connection = nullptr;
}

int PostgresStoreResult(PostgresStore& store, const ReceivedResult& result, std::string* error) {
  std::string time = std::to_string(result.time);
  std::string adapter = HexAddress(result.adapterAddress);
  std::string received = std::to_string(result.receivedAt);
  std::string listed = std::to_string(kBestResults);
  const char* values[] = {result.name.data(),           time.c_str(),     adapter.c_str(),
                          result.clientAddress.c_str(), received.c_str(), listed.c_str()};
  const int lengths[] = {static_cast<int>(result.name.size()), 0, 0, 0, 0, 0};
  const int formats[] = {1, 0, 0, 0, 0, 0};
  PGresult* reply = RunPrepared(store, "store", 6, values, lengths, formats, 0, error);
  if (!reply) return -1;
  int rank = std::atoi(PQgetvalue(reply, 0, 0));
  PQclear(reply);
  return rank;
}

bool PostgresReadBest(PostgresStore& store, std::string* text, std::string* error) {
  std::string listed = std::to_string(kBestResults);
  const char* values[] = {listed.c_str()};
  PGresult* reply = RunPrepared(store, "best", 1, values, nullptr, nullptr, 1, error);
  if (!reply) return false;
  text->clear();
  for (int row = 0; row < PQntuples(reply); ++row) {
    AppendBestRow(text, PQgetvalue(reply, row, 0), static_cast<size_t>(PQgetlength(reply, row, 0)),
                  ReadNetworkInt(PQgetvalue(reply, row, 1)));
  }
  PQclear(reply);
  return true;
}

bool PostgresBestChanged(PostgresStore& store) {
  PQconsumeInput(store.connection);
  while (PGnotify* notice = PQnotifies(store.connection)) {
    store.bestChanged = true;
    PQfreemem(notice);
  }
  if (PQstatus(store.connection) == CONNECTION_BAD) Recover(store);
  bool changed = store.bestChanged;
  store.bestChanged = false;
  return changed;
}

bool PostgresAnswers(PostgresStore& store) {
  Recover(store);
  PGresult* reply = PQexec(store.connection, "SELECT 1");
  bool answered = PQresultStatus(reply) == PGRES_TUPLES_OK;
  PQclear(reply);
  if (!answered) Recover(store);
  return answered;
}
