// kestrow-scores: the score protocol over HTTP.
#pragma once

#include <string>

struct ServerSettings {
  std::string listenAddress;
  int port;
  std::string databasePath;
  double requestsPerSecond;
};

// Serves until SIGTERM or SIGINT; returns the process's exit code. With port 0 a free port is
// chosen. Prints "listening on ADDRESS:PORT" once it accepts connections.
int RunScoreServer(const ServerSettings& settings);
