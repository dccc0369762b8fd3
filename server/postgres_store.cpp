#include "postgres_store.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>

namespace {

// The layout this server writes; a database of a later one is refused, an earlier one is
// brought up to it on opening.
constexpr int kSchemaVersion = 2;
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

// Layout 2: each result's status and the digest of its verified replay, the best verified
// result of each name and adapter, and the seeds issued to games. Results stored before it are
// unverified. The store_result of layout 1 stays, so that servers not yet upgraded keep
// storing (unverified) results until they restart.
constexpr const char* kMigrateTo2 =
    "ALTER TABLE results ADD COLUMN status text NOT NULL DEFAULT 'unverified',"
    "  ADD COLUMN digest bytea UNIQUE;"
    "CREATE TABLE verified_best ("
    "  name bytea NOT NULL,"
    "  adapter text NOT NULL,"
    "  time integer NOT NULL,"
    "  result bigint NOT NULL,"
    "  PRIMARY KEY (name, adapter));"
    "CREATE INDEX verified_best_by_time ON verified_best (time, result);"
    "CREATE TABLE seeds ("
    "  seed bigint PRIMARY KEY,"
    "  issued bigint NOT NULL,"
    "  client text NOT NULL,"
    "  used boolean NOT NULL DEFAULT false);"
    "CREATE INDEX seeds_by_issue ON seeds (issued);"
    // As layout 1's, with the status: a verified result whose replay digest is known becomes
    // refused; a refused result is kept, never ranked; a verified one also competes in
    // verified_best; the rank counts verified results alone when verified_only. A change of
    // either list's rows is announced, whichever list this server ranks by.
    "CREATE FUNCTION store_result(new_name bytea, new_time integer, new_adapter text,"
    "    new_client text, new_received bigint, listed integer, new_status text,"
    "    new_digest bytea, verified_only boolean, OUT new_rank integer, OUT final_status text)"
    "  LANGUAGE plpgsql AS $$"
    "  DECLARE"
    "    stored bigint;"
    "    improved boolean;"
    "    improved_verified boolean := false;"
    "    faster integer := listed;"
    "    faster_verified integer := listed;"
    "  BEGIN"
    "    PERFORM pg_advisory_xact_lock(7461002);"
    "    IF new_digest IS NOT NULL AND EXISTS (SELECT 1 FROM results WHERE digest = new_digest)"
    "    THEN"
    "      new_status := 'refused:replayed';"
    "      new_digest := NULL;"
    "    END IF;"
    "    INSERT INTO results (name, time, adapter, client, received, status, digest)"
    "      VALUES (new_name, new_time, new_adapter, new_client, new_received, new_status,"
    "              new_digest)"
    "      RETURNING id INTO stored;"
    "    new_rank := 0;"
    "    final_status := new_status;"
    "    IF new_status LIKE 'refused:%' THEN RETURN; END IF;"
    "    INSERT INTO best AS b VALUES (new_name, new_adapter, new_time, stored)"
    "      ON CONFLICT (name, adapter) DO UPDATE SET time = excluded.time, result = excluded.result"
    "      WHERE excluded.time < b.time;"
    "    improved := FOUND;"
    "    IF new_status = 'verified' THEN"
    "      INSERT INTO verified_best AS b VALUES (new_name, new_adapter, new_time, stored)"
    "        ON CONFLICT (name, adapter) DO UPDATE SET time = excluded.time,"
    "          result = excluded.result"
    "        WHERE excluded.time < b.time;"
    "      improved_verified := FOUND;"
    "    END IF;"
    "    IF improved THEN"
    "      SELECT count(*) INTO faster FROM (SELECT 1 FROM best WHERE time < new_time LIMIT "
    "listed) f;"
    "    END IF;"
    "    IF improved_verified THEN"
    "      SELECT count(*) INTO faster_verified"
    "        FROM (SELECT 1 FROM verified_best WHERE time < new_time LIMIT listed) f;"
    "    END IF;"
    "    IF faster < listed OR faster_verified < listed THEN"
    "      PERFORM pg_notify('kestrow_best', '');"
    "    END IF;"
    "    IF verified_only THEN faster := faster_verified; END IF;"
    "    IF faster < listed THEN new_rank := faster + 1; END IF;"
    "  END $$;"
    "INSERT INTO kestrow_schema VALUES (2);";

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
  bool ready = version >= 0 && version <= kSchemaVersion &&
               (version >= 1 || Execute(connection, kSchema, error)) &&
               (version >= 2 || Execute(connection, kMigrateTo2, error));
  if (version > kSchemaVersion) {
    *error = "written by a later kestrow-scores (layout " + std::to_string(version) + ")";
  }
  if (ready) return Execute(connection, "COMMIT", error);
  std::string ignored;
  Execute(connection, "ROLLBACK", &ignored);
  return false;
}

// The statements each session prepares. The list is read from `best`, or from `verified_best`
// when the server counts verified results alone.
struct PreparedStatement {
  const char* name;
  const char* sql;
  const char* verifiedOnlySql;
};

constexpr PreparedStatement kStatements[] = {
    {"store",
     "SELECT new_rank, final_status FROM store_result($1, $2::integer, $3, $4, $5::bigint,"
     " $6::integer, $7, $8::bytea, $9::boolean)",
     nullptr},
    {"best",
     "SELECT b.name, b.time, r.status = 'verified' FROM best b JOIN results r ON r.id = b.result "
     "ORDER BY b.time, b.result DESC LIMIT $1",
     "SELECT name, time, true FROM verified_best ORDER BY time, result DESC LIMIT $1"},
    {"issue_seed",
     "WITH forgotten AS (DELETE FROM seeds WHERE issued < $2::bigint - $4::bigint) "
     "INSERT INTO seeds (seed, issued, client) VALUES ($1::bigint, $2::bigint, $3) RETURNING seed",
     nullptr},
    {"claim_seed",
     "WITH old AS (SELECT seed, issued, used FROM seeds WHERE seed = $1::bigint FOR UPDATE),"
     " marked AS (UPDATE seeds s SET used = true FROM old WHERE s.seed = old.seed) "
     "SELECT issued, used FROM old",
     nullptr},
};

// Prepares the statements and listens for changes of the list on a new session.
bool StartSession(PostgresStore& store, std::string* error) {
  for (const PreparedStatement& statement : kStatements) {
    const char* sql =
        store.verifiedOnly && statement.verifiedOnlySql ? statement.verifiedOnlySql : statement.sql;
    PGresult* prepared = PQprepare(store.connection, statement.name, sql, 0, nullptr);
    bool done = PQresultStatus(prepared) == PGRES_COMMAND_OK;
    PQclear(prepared);
    if (!done) {
      *error = PQerrorMessage(store.connection);
      return false;
    }
  }
  return Execute(store.connection, kListen, error);
}

// Connects again when the connection was lost.
void Recover(PostgresStore& store) {
  if (PQstatus(store.connection) != CONNECTION_BAD) return;
  store.bestChanged = true;
  PQreset(store.connection);
  std::string ignored;
  if (PQstatus(store.connection) == CONNECTION_OK) StartSession(store, &ignored);
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

bool OpenPostgresStore(PostgresStore& store, const std::string& uri, bool verifiedOnly,
                       std::string* error) {
  store.bestChanged = true;
  store.verifiedOnly = verifiedOnly;
  store.connection = PQconnectdb(uri.c_str());
  bool ready = PQstatus(store.connection) == CONNECTION_OK;
  if (!ready) *error = PQerrorMessage(store.connection);
  ready = ready && CreateTables(store.connection, error) && StartSession(store, error);
  if (ready) return true;
  ClosePostgresStore(store);
  return false;
}

void ClosePostgresStore(PostgresStore& store) {
  PQfinish(store.connection);
  store.connection = nullptr;
}

int PostgresStoreResult(PostgresStore& store, ReceivedResult& result, std::string* error) {
  std::string time = std::to_string(result.time);
  std::string adapter = HexAddress(result.adapterAddress);
  std::string received = std::to_string(result.receivedAt);
  std::string listed = std::to_string(kBestResults);
  const char* digest = result.replayDigest.empty() ? nullptr : result.replayDigest.data();
  const char* values[] = {
      result.name.data(),           time.c_str(),     adapter.c_str(),
      result.clientAddress.c_str(), received.c_str(), listed.c_str(),
      result.status.c_str(),        digest,           store.verifiedOnly ? "t" : "f"};
  const int lengths[] = {static_cast<int>(result.name.size()),         0, 0, 0, 0, 0, 0,
                         static_cast<int>(result.replayDigest.size()), 0};
  const int formats[] = {1, 0, 0, 0, 0, 0, 0, 1, 0};
  PGresult* reply = RunPrepared(store, "store", 9, values, lengths, formats, 0, error);
  if (!reply) return -1;
  int rank = std::atoi(PQgetvalue(reply, 0, 0));
  result.status = PQgetvalue(reply, 0, 1);
  if (IsRefused(result.status)) result.replayDigest.clear();
  PQclear(reply);
  return rank;
}

bool PostgresIssueSeed(PostgresStore& store, uint64_t seed, const std::string& client,
                       int64_t nowMs, std::string* error) {
  std::string seedText = std::to_string(static_cast<int64_t>(seed));
  std::string issued = std::to_string(nowMs);
  std::string lifetime = std::to_string(kSeedLifetimeMs);
  const char* values[] = {seedText.c_str(), issued.c_str(), client.c_str(), lifetime.c_str()};
  PGresult* reply = RunPrepared(store, "issue_seed", 4, values, nullptr, nullptr, 0, error);
  if (!reply) return false;
  PQclear(reply);
  return true;
}

bool PostgresClaimSeed(PostgresStore& store, uint64_t seed, SeedClaim* claim, std::string* error) {
  std::string seedText = std::to_string(static_cast<int64_t>(seed));
  const char* values[] = {seedText.c_str()};
  PGresult* reply = RunPrepared(store, "claim_seed", 1, values, nullptr, nullptr, 0, error);
  if (!reply) return false;
  *claim = {SeedState::unknown, 0};
  if (PQntuples(reply) > 0) {
    claim->issuedMs = std::atoll(PQgetvalue(reply, 0, 0));
    claim->state = PQgetvalue(reply, 0, 1)[0] == 't' ? SeedState::used : SeedState::fresh;
  }
  PQclear(reply);
  return true;
}

bool PostgresReadBest(PostgresStore& store, std::vector<BestRow>* rows, std::string* error) {
  std::string listed = std::to_string(kBestResults);
  const char* values[] = {listed.c_str()};
  PGresult* reply = RunPrepared(store, "best", 1, values, nullptr, nullptr, 1, error);
  if (!reply) return false;
  rows->clear();
  for (int row = 0; row < PQntuples(reply); ++row) {
    rows->push_back(
        {std::string(PQgetvalue(reply, row, 0), static_cast<size_t>(PQgetlength(reply, row, 0))),
         ReadNetworkInt(PQgetvalue(reply, row, 1)), PQgetvalue(reply, row, 2)[0] != 0});
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
