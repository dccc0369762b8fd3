// The results kept in PostgreSQL, shared by any number of servers. The rank of a result is
// computed in the database, in the transaction that stores it, under a lock every server takes,
// so the ranks answered are those of one serial order of the submissions. A result entering
// the list is announced on a channel that every server listens to.
#pragma once

#include <libpq-fe.h>

#include <string>

#include "received_result.h"

struct PostgresStore {
  PGconn* connection;
  // Set when the list may have changed without notice (a lost connection, a notification).
  bool bestChanged;
};

// Connects with a libpq URI and creates or checks the tables; false with a message.
bool OpenPostgresStore(PostgresStore& store, const std::string& uri, std::string* error);
void ClosePostgresStore(PostgresStore& store);
// Stores a plausible result and returns its rank (0 when unranked); -1 with a message on error.
int PostgresStoreResult(PostgresStore& store, const ReceivedResult& result, std::string* error);
// Whether the database answers a query; connects again for the next request when not.
bool PostgresAnswers(PostgresStore& store);
// The list text of the best results; false with a message on error.
bool PostgresReadBest(PostgresStore& store, std::string* text, std::string* error);
// Whether any server announced a change of the list since the last call, or the connection
// was lost meanwhile.
bool PostgresBestChanged(PostgresStore& store);
