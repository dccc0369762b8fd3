// The results kept in PostgreSQL, shared by any number of servers. The rank of a result is
// computed in the database, in the transaction that stores it, under a lock every server takes,
// so the ranks answered are those of one serial order of the submissions. A result entering
// the list is announced on a channel that every server listens to.
#pragma once

#include <libpq-fe.h>

#include <string>
#include <vector>

#include "received_result.h"

struct PostgresStore {
  PGconn* connection;
  // Whether the list and the ranks count verified results alone.
  bool verifiedOnly;
  // Set when the list may have changed without notice (a lost connection, a notification).
  bool bestChanged;
};

// Connects with a libpq URI and creates the tables, or brings an earlier layout up to date;
// false with a message.
bool OpenPostgresStore(PostgresStore& store, const std::string& uri, bool verifiedOnly,
                       std::string* error);
void ClosePostgresStore(PostgresStore& store);
// Stores a plausible result and returns its rank (0 when unranked or refused); -1 with a message
// on error. A verified result whose replay digest was stored before is stored refused, and its
// status changed so.
int PostgresStoreResult(PostgresStore& store, ReceivedResult& result, std::string* error);
// Keeps a newly issued seed and forgets the expired ones; false with a message on error.
bool PostgresIssueSeed(PostgresStore& store, uint64_t seed, const std::string& client,
                       int64_t nowMs, std::string* error);
// Tells what the store knew of the seed and marks it used; false with a message on error.
bool PostgresClaimSeed(PostgresStore& store, uint64_t seed, SeedClaim* claim, std::string* error);
// Whether the database answers a query; connects again for the next request when not.
bool PostgresAnswers(PostgresStore& store);
// The best results, best first; false with a message on error.
bool PostgresReadBest(PostgresStore& store, std::vector<BestRow>* rows, std::string* error);
// Whether any server announced a change of the list since the last call, or the connection
// was lost meanwhile.
bool PostgresBestChanged(PostgresStore& store);
