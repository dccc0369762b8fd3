#include "server_process.h"

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

std::string TemporaryDatabasePath() {
  char pattern[] = "/tmp/kestrow-scores-test-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return std::string();
  return std::string(pattern) + "/scores.db";
}

namespace {

// The port of the line "listening on ADDRESS:PORT", read within ten seconds.
int ReadListeningPort(int output) {
  std::string line;
  char c;
  pollfd ready{output, POLLIN, 0};
  while (line.find('\n') == std::string::npos) {
    if (poll(&ready, 1, 10000) <= 0 || read(output, &c, 1) != 1) return -1;
    line += c;
  }
  size_t colon = line.rfind(':');
  if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) return -1;
  return std::atoi(line.c_str() + colon + 1);
}

}  // namespace

bool StartScoreServer(ServerProcess* server, const std::string& database,
                      const std::vector<std::string>& options) {
  int output[2];
  if (pipe(output) != 0) return false;
  std::vector<std::string> arguments = {
      KESTROW_SCORES_BINARY, "--listen", "127.0.0.1", "--port", "0", "--db", database};
  arguments.insert(arguments.end(), options.begin(), options.end());
  pid_t pid = fork();
  if (pid == 0) {
    dup2(output[1], STDOUT_FILENO);
    close(output[0]);
    close(output[1]);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(output[1]);
  int port = pid > 0 ? ReadListeningPort(output[0]) : -1;
  close(output[0]);
  if (pid > 0 && port <= 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  *server = {pid, port};
  return port > 0;
}

int StopScoreServer(ServerProcess& server, int signal) {
  int status = 0;
  kill(server.pid, signal);
  waitpid(server.pid, &status, 0);
  return status;
}

int ClosedLoopbackPort() {
  int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  close(probe);
  return ntohs(address.sin_port);
}
