// kestrow-scores under hostile clients and a failing disk: the real process on loopback, every
// attack bounded in count and time, the server's resources asserted as limits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "server/server_process.h"

namespace {

constexpr const char* kRequestLine = "POST /public/index.php?a=KestrowRes HTTP/1.1\r\n";

// A packed time of s seconds and c hundredths, above the fastest possible game.
constexpr int32_t Time(int s, int c = 0) {
  return (s / 60) * 65536 + (s % 60) * 256 + c;
}

// A client that gives up after two seconds at every step.
struct PatientClient {
  httplib::Client client;
  explicit PatientClient(int port) : client("127.0.0.1", port) {
    client.set_connection_timeout(2);
    client.set_read_timeout(2);
    client.set_write_timeout(2);
  }
  httplib::Result Post(const std::string& body) {
    return client.Post("/public/index.php?a=KestrowRes", body, "application/x-www-form-urlencoded");
  }
};

// Loopback address number i of the block 127.b.0.0, skipping the .0 and .255 hosts.
uint32_t LoopbackAddress(int block, int i) {
  return 0x7F000000u | static_cast<uint32_t>(block) << 16 | static_cast<uint32_t>(i / 250) << 8 |
         static_cast<uint32_t>(i % 250 + 1);
}

// Connections that each send a request one header line at a time, every 200 ms, until closed.
struct SlowClients {
  std::vector<int> sockets;
  std::atomic<bool> stop = false;
  std::thread sender;

  SlowClients(int port, int count) {
    for (int i = 0; i < count; ++i) {
      int connection = ConnectLoopback(port, LoopbackAddress(2, i));
      if (connection < 0) continue;
      send(connection, kRequestLine, std::strlen(kRequestLine), MSG_NOSIGNAL);
      sockets.push_back(connection);
    }
    sender = std::thread([this] {
      while (!stop) {
        for (int connection : sockets) {
          send(connection, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      }
    });
  }
  ~SlowClients() {
    stop = true;
    sender.join();
    for (int connection : sockets) close(connection);
  }
};

// The server's peak resident memory in bytes, from /proc.
int64_t PeakResidentBytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
  }
  return -1;
}

int64_t FileSize(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

// Waits at most `limitMs` for the process to end; false when it still runs.
bool WaitForExit(pid_t pid, int* status, int limitMs) {
  for (int waited = 0; waited < limitMs; waited += 20) {
    if (waitpid(pid, status, WNOHANG) == pid) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

std::vector<std::string> LogLines(const std::string& path) {
  std::ifstream log(path);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(log, line)) lines.push_back(line);
  return lines;
}

std::string LogPathBeside(const std::string& database) {
  return database.substr(0, database.rfind('/')) + "/server.log";
}

TEST(Attack, IdleAndSlowClientsDoNotLockOthersOut) {
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, TemporaryDatabasePath()));
  std::vector<int> idle;
  for (int i = 0; i < 1000; ++i) {
    int connection = ConnectLoopback(server.port, LoopbackAddress(1, i));
    if (connection < 0) break;
    idle.push_back(connection);
  }
  SlowClients slow(server.port, 8);
  EXPECT_EQ(idle.size(), 1000u);
  EXPECT_EQ(slow.sockets.size(), 8u);
  PatientClient client(server.port);
  auto reply = client.Post("action=get");
  EXPECT_TRUE(reply) << "no answer within 2 s: " << httplib::to_string(reply.error());
  EXPECT_EQ(reply ? reply->status : 0, 200);
  for (int connection : idle) close(connection);
  StopScoreServer(server, SIGKILL);
}

TEST(Attack, HeaderFloodsLeaveMemoryBounded) {
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, TemporaryDatabasePath(), {"--rate", "1000000"}));
  constexpr int64_t kFloodBytes = 100 << 20;
  std::vector<std::thread> floods;
  for (int i = 0; i < 8; ++i) {
    floods.emplace_back([&server, i] {
      int connection = ConnectLoopback(server.port, LoopbackAddress(3, i));
      timeval timeout{5, 0};
      setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
      std::string line = "X-Flood: " + std::string(8000, 'h') + "\r\n";
      bool open = send(connection, kRequestLine, std::strlen(kRequestLine), MSG_NOSIGNAL) > 0;
      for (int64_t sent = 0; open && sent < kFloodBytes; sent += line.size()) {
        open = send(connection, line.data(), line.size(), MSG_NOSIGNAL) > 0;
      }
      close(connection);
    });
  }
  for (std::thread& flood : floods) flood.join();
  PatientClient client(server.port);
  auto reply = client.Post("action=get");
  EXPECT_TRUE(reply && reply->status == 200);
  EXPECT_LT(PeakResidentBytes(server.pid), 100 << 20);
  StopScoreServer(server, SIGKILL);
}

TEST(Attack, TheLogStaysSmallUnderAFloodOfResults) {
  std::string database = TemporaryDatabasePath();
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, database, {"--rate", "1000000"}));
  constexpr int kSenders = 4;
  constexpr int kPerSender = 2000;
  std::atomic<int> stored = 0;
  std::vector<std::thread> senders;
  for (int t = 0; t < kSenders; ++t) {
    senders.emplace_back([&, t] {
      PatientClient client(server.port);
      for (int i = 0; i < kPerSender; ++i) {
        std::string name = "W" + std::to_string(t) + "-" + std::to_string(i);
        auto reply = client.Post(SubmissionBody(name, Time(20 + i % 40, i % 100)));
        if (reply && reply->status == 200) ++stored;
      }
    });
  }
  int64_t largestLog = 0;
  while (stored < kSenders * kPerSender - 100) {
    largestLog = std::max(largestLog, FileSize(database + "-wal"));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (waitpid(server.pid, nullptr, WNOHANG) != 0) break;
  }
  for (std::thread& sender : senders) sender.join();
  largestLog = std::max(largestLog, FileSize(database + "-wal"));
  EXPECT_EQ(stored, kSenders * kPerSender);
  EXPECT_LT(largestLog, 16 << 20);
  EXPECT_GT(FileSize(database), 256 << 10);  // the results reached the database itself
  StopScoreServer(server, SIGTERM);
}

TEST(Attack, SigtermEndsTheServerWhateverTheClientsDo) {
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, TemporaryDatabasePath()));
  SlowClients slow(server.port, 8);
  int halfSent = ConnectLoopback(server.port, LoopbackAddress(4, 0));
  std::string partial = std::string(kRequestLine) + "Content-Length: 100\r\n\r\naction=se";
  send(halfSent, partial.data(), partial.size(), MSG_NOSIGNAL);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let them all in
  kill(server.pid, SIGTERM);
  int status = 0;
  bool ended = WaitForExit(server.pid, &status, 5000);
  EXPECT_TRUE(ended) << "still running 5 s after SIGTERM";
  if (!ended) StopScoreServer(server, SIGKILL);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  close(halfSent);
}

TEST(Attack, ASecondServerCannotTakeThePort) {
  ServerProcess first;
  ASSERT_TRUE(StartScoreServer(&first, TemporaryDatabasePath()));
  ServerProcess second;
  std::string port = std::to_string(first.port);
  bool started = StartScoreServer(&second, TemporaryDatabasePath(), {"--port", port});
  EXPECT_FALSE(started);
  if (started) StopScoreServer(second, SIGKILL);
  PatientClient client(first.port);
  auto reply = client.Post("action=get");
  EXPECT_TRUE(reply && reply->status == 200);
  StopScoreServer(first, SIGTERM);
}

// Runs the server with the arguments for at most three seconds and returns its error output,
// and its exit code (-1 when it had to be stopped).
std::pair<int, std::string> RunBriefly(const std::vector<std::string>& arguments) {
  int errors[2];
  if (pipe2(errors, O_CLOEXEC) != 0) return {-2, ""};
  int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
  pid_t pid = LaunchScoreServer(TemporaryDatabasePath(), arguments, quiet, errors[1]);
  close(quiet);
  close(errors[1]);
  int status = 0;
  bool ended = WaitForExit(pid, &status, 3000);
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  std::string text;
  char buffer[512];
  ssize_t count;
  while ((count = read(errors[0], buffer, sizeof buffer)) > 0) text.append(buffer, count);
  close(errors[0]);
  return {ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

TEST(Attack, WrongOptionsAreRefusedWithAMessage) {
  const std::vector<std::vector<std::string>> wrong = {
      {"--rate", "nan"},
      {"--rate", "-5"},
      {"--rate", "inf"},
      {"--rate", "0"},
      {"--port", "65536"},
      {"--port", "8.5"},
      {"--connections", "0"},
      {"--connections", "nan"},
      {"--connections-per-address", "-1"},
      {"--header-bytes", "100"},
      {"--body-bytes", "1e12"},
      {"--idle-timeout", "-3"},
      {"--request-timeout", "x"},
      {"--request-timeout", ""},
      {"--rate"},
      {"--db", ""},
      {"--bogus", "1"},
  };
  for (const std::vector<std::string>& arguments : wrong) {
    auto [code, errors] = RunBriefly(arguments);
    EXPECT_EQ(code, 2) << arguments[0] << " " << arguments.back();
    EXPECT_NE(errors.find(arguments[0]), std::string::npos) << errors;
  }
}

std::vector<std::string> StatusLines(const std::string& reply) {
  std::vector<std::string> lines;
  for (size_t at = reply.find("HTTP/1.1 "); at != std::string::npos;
       at = reply.find("HTTP/1.1 ", at + 1)) {
    lines.push_back(reply.substr(at, 12));
  }
  return lines;
}

TEST(Attack, HalfClosedAndPipelinedRequestsAreAnswered) {
  std::string database = TemporaryDatabasePath();
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, database, {"--rate", "1000000", "--idle-timeout", "1"}));
  std::string body = SubmissionBody("Half", Time(30));
  std::string submission = std::string(kRequestLine) +
                           "Host: x\r\nContent-Length: " + std::to_string(body.size()) +
                           "\r\n\r\n" + body;
  std::string reply = RawExchange(server.port, submission, true);
  EXPECT_EQ(StatusLines(reply), std::vector<std::string>{"HTTP/1.1 200"}) << reply;
  EXPECT_TRUE(reply.ends_with("\r\n\r\n1")) << reply;

  std::string get = std::string(kRequestLine) + "Host: x\r\nContent-Length: 10\r\n";
  std::string pipelined = get + "\r\naction=get" + get + "Connection: close\r\n\r\naction=get";
  reply = RawExchange(server.port, pipelined, false);
  EXPECT_EQ(StatusLines(reply), (std::vector<std::string>{"HTTP/1.1 200", "HTTP/1.1 200"}))
      << reply;
  StopScoreServer(server, SIGTERM);
}

TEST(Attack, ADamagedDatabaseIsAnsweredAsAnErrorAndLoggedOnce) {
  std::string database = TemporaryDatabasePath();
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, database, {"--rate", "1000000"}));
  {
    PatientClient client(server.port);
    for (int i = 0; i < 40; ++i) client.Post(SubmissionBody("D" + std::to_string(i), Time(20 + i)));
  }
  StopScoreServer(server, SIGTERM);
  // Every page after the first, which describes the tables, turns to garbage.
  std::fstream file(database, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(4096);
  file << std::string(FileSize(database) - 4096, '\xA5');
  file.close();

  std::string log = LogPathBeside(database);
  ASSERT_TRUE(StartScoreServer(&server, database, {"--rate", "1000000"}, log));
  PatientClient client(server.port);
  for (int i = 0; i < 3; ++i) {
    auto reply = client.Post("action=get");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 500) << reply->body;
  }
  StopScoreServer(server, SIGTERM);
  EXPECT_EQ(LogLines(log).size(), 1u);
}

TEST(Attack, AFullDiskIsAnsweredAsAnErrorAndLoggedOnce) {
  std::string database = TemporaryDatabasePath();
  std::string log = LogPathBeside(database);
  // The server's files may not grow past 64 KiB, as on a disk that is full.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small{64 << 10, saved.rlim_max};
  setrlimit(RLIMIT_FSIZE, &small);
  ServerProcess server;
  bool started = StartScoreServer(&server, database, {"--rate", "1000000"}, log);
  setrlimit(RLIMIT_FSIZE, &saved);
  ASSERT_TRUE(started);
  PatientClient client(server.port);
  int refused = 0;
  for (int i = 0; i < 200 && refused < 4; ++i) {
    auto reply = client.Post(SubmissionBody("F" + std::to_string(i), Time(20 + i % 40)));
    ASSERT_TRUE(reply) << "no answer to submission " << i;
    if (reply->status == 500) ++refused;
  }
  EXPECT_EQ(refused, 4);
  auto list = client.Post("action=get");
  EXPECT_TRUE(list && list->status == 200);
  StopScoreServer(server, SIGTERM);
  EXPECT_EQ(LogLines(log).size(), 1u);
}

}  // namespace
