// The databases the server's tests run on: SQLite files, and databases of a throw-away
// PostgreSQL cluster made for one test program (created in a temporary directory on first use,
// run by the unprivileged "postgres" user when the tests run as root, reached on a free
// loopback port, and removed when the program ends).
#pragma once

#include <cstdint>
#include <set>
#include <string>

// A new, empty database for `engine`, "sqlite" or "postgresql", named as --db takes it.
std::string NewStoreDatabase(const std::string& engine);
// How many results the database keeps that match the SQL condition; -1 on error.
int64_t CountStoredResults(const std::string& database, const std::string& where = "true");

// The URI of a new, empty database of the cluster; empty when the cluster cannot start.
std::string NewPostgresDatabase();
// Runs one SQL command on the database and returns the first column of the first row ("" when
// there is none, "ERROR: ..." on failure).
std::string QueryPostgres(const std::string& uri, const std::string& sql);
// The names of every result the database keeps (names of one line each).
std::set<std::string> StoredNames(const std::string& database);
// The status stored with the result of the plain ASCII name ("" when there is none).
std::string StoredStatus(const std::string& database, const std::string& name);
// Keeps a seed as though the server had issued it at `issuedMs` (since the epoch).
void KeepIssuedSeed(const std::string& database, uint64_t seed, int64_t issuedMs);
