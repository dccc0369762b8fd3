// kestrow-scores: the score protocol over HTTP.
#pragma once

#include <string>

// Where the server listens and the bounds it sets on every client.
struct ServerSettings {
  std::string listenAddress;
  int port;
  std::string databasePath;
  double requestsPerSecond;
  // Open connections in all, and from one client address.
  int maxConnections;
  int maxConnectionsPerAddress;
  // Memory of one connection for its request line and headers.
  int maxHeaderBytes;
  int maxBodyBytes;
  // Seconds a connection may stay silent, and may take to send one whole request (counted from
  // its opening or from the previous answer).
  int idleTimeoutSeconds;
  int requestTimeoutSeconds;
  // The address of a proxy whose X-Forwarded-For header names the client; empty for none.
  std::string trustedProxy;
  // Where GET /metrics is served, on a listener of its own; no metrics with port -1.
  std::string metricsAddress;
  int metricsPort;
  // Whether the list and the ranks count verified results alone.
  bool verifiedOnly;
};

// Serves until SIGTERM or SIGINT; returns the process's exit code. With port 0 a free port is
// chosen. Prints "listening on ADDRESS:PORT" once it accepts connections.
int RunScoreServer(const ServerSettings& settings);
