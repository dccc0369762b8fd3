#include "server_process.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "game/replay.h"
#include "scores/score_server_protocol.h"

std::string SubmissionBody(const std::string& encodedName, int32_t time, uint8_t mask) {
  static constexpr unsigned char kAddress[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  return "action=set&nom=" + encodedName +
         "&tmp=" + FormatSubmissionToken(EncodeResultTime(time), kAddress, mask);
}

std::string ReplayBody(const std::string& encodedName, const Replay& replay, int32_t offsetMs) {
  uint32_t reached = PlayReplay(replay).resultStamp + static_cast<uint32_t>(offsetMs);
  return SubmissionBody(encodedName, PackedTimeOfStamp(reached)) + "&rep=" + EncodeReplay(replay);
}

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

pid_t LaunchScoreServer(const std::string& database, const std::vector<std::string>& options,
                        int output, int errors) {
  std::vector<std::string> arguments = {
      KESTROW_SCORES_BINARY, "--listen", "127.0.0.1", "--port", "0", "--db", database};
  arguments.insert(arguments.end(), options.begin(), options.end());
  pid_t pid = fork();
  if (pid != 0) return pid;
  dup2(output, STDOUT_FILENO);
  if (errors >= 0) dup2(errors, STDERR_FILENO);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

bool StartScoreServer(ServerProcess* server, const std::string& database,
                      const std::vector<std::string>& options, const std::string& logPath) {
  int output[2];
  if (pipe2(output, O_CLOEXEC) != 0) return false;
  int log =
      logPath.empty() ? -1 : open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  pid_t pid = LaunchScoreServer(database, options, output[1], log);
  if (log >= 0) close(log);
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

int ConnectLoopback(int port, uint32_t source) {
  int connection = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(source);
  if (bind(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(connection);
    return -1;
  }
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(connection);
    return -1;
  }
  return connection;
}

std::string RawExchange(int port, const std::string& bytes, bool halfClose) {
  int connection = ConnectLoopback(port);
  if (connection < 0) return "";
  timeval timeout{6, 0};
  setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  if (halfClose) shutdown(connection, SHUT_WR);
  std::string reply;
  char buffer[4096];
  ssize_t count;
  while ((count = recv(connection, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, count);
  close(connection);
  return reply;
}
