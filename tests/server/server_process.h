// The real kestrow-scores, started by a test on a free loopback port.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "game/replay.h"

struct ServerProcess {
  pid_t pid;
  int port;
};

// The body of a submission of `time` (packed) under an already form-encoded name, from one
// fixed adapter address.
std::string SubmissionBody(const std::string& encodedName, int32_t time, uint8_t mask = 0x5C);

// A submission as SubmissionBody, with the replay of the game, claiming the time the replay
// reaches and `offsetMs` more.
std::string ReplayBody(const std::string& encodedName, const Replay& replay, int32_t offsetMs = 0);

// A fresh database path in a new temporary directory.
std::string TemporaryDatabasePath();
// Starts the server on 127.0.0.1 with the database and extra options, and waits until it
// listens; false when it did not start. Its error output goes to `logPath` when given.
bool StartScoreServer(ServerProcess* server, const std::string& database,
                      const std::vector<std::string>& options = {},
                      const std::string& logPath = std::string());
// Starts the server on 127.0.0.1, port 0, with the database and extra options, its output and
// error output on the given descriptors (-1 keeps the error output); returns its process id.
pid_t LaunchScoreServer(const std::string& database, const std::vector<std::string>& options,
                        int output, int errors);
// Sends the signal and waits for the process; returns its wait status.
int StopScoreServer(ServerProcess& server, int signal);
// A loopback port where nothing listens.
int ClosedLoopbackPort();
// A connection to the loopback port from the loopback address `source` (host order, 127.0.0.1
// by default); -1 on failure.
int ConnectLoopback(int port, uint32_t source = 0x7F000001);
// Sends raw bytes on a new connection, half-closes it when asked, and returns what comes back
// before the server closes it (or nothing comes for six seconds).
std::string RawExchange(int port, const std::string& bytes, bool halfClose = true);
