// The real kestrow-scores, started by a test on a free loopback port.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ServerProcess {
  pid_t pid;
  int port;
};

// A fresh database path in a new temporary directory.
std::string TemporaryDatabasePath();
// Starts the server on 127.0.0.1 with the database and extra options, and waits until it
// listens; false when it did not start.
bool StartScoreServer(ServerProcess* server, const std::string& database,
                      const std::vector<std::string>& options = {});
// Sends the signal and waits for the process; returns its wait status.
int StopScoreServer(ServerProcess& server, int signal);
// A loopback port where nothing listens.
int ClosedLoopbackPort();
