// Concurrent submissions to a server that is killed while they run.
#pragma once

#include <string>
#include <vector>

#include "server/server_process.h"

struct KilledMidway {
  // The names whose submission was answered 200, and the victim's wait status.
  std::vector<std::string> answered;
  int status;
};

// Eight clients each submit 125 results of distinct names through `port`; once 400 were
// answered, `victim` gets SIGKILL, and the clients go on to their end.
KilledMidway SubmitWhileKilling(int port, ServerProcess& victim);
