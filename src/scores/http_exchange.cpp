#include "scores/http_exchange.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>

extern char** environ;

namespace {

// A running helper and the game's ends of its pipes; a descriptor is -1 once closed.
struct HelperProcess {
  pid_t pid = -1;
  int input = -1;   // the helper's standard input, where the body goes
  int output = -1;  // the helper's standard output, where the reply comes from
  int pidfd = -1;   // readable once the helper has ended
};

// How a conversation with the helper ended.
enum class HelperEnd { kEnded, kOverflowed, kOverdue };

void CloseDescriptor(int* descriptor) {
  if (*descriptor < 0) return;
  close(*descriptor);
  *descriptor = -1;
}

// Waits for the helper's end and closes what is left of its pipes; the helper's wait status.
int ReapHelper(HelperProcess& process) {
  int status = 0;
  while (waitpid(process.pid, &status, 0) < 0 && errno == EINTR) {
  }
  CloseDescriptor(&process.input);
  CloseDescriptor(&process.output);
  CloseDescriptor(&process.pidfd);
  return status;
}

// Starts the helper with its standard input and output on pipes; false, with nothing left
// running or open, when it cannot be. Every pipe end is close-on-exec, so that a helper started
// meanwhile by another thread holds none of them; the helper's own two ends lose that flag as they
// become its descriptors 0 and 1.
bool StartHelper(const std::string& helper, const std::string& url, HelperProcess* process) {
  int input[2];
  int output[2];
  if (pipe2(input, O_CLOEXEC) != 0) return false;
  if (pipe2(output, O_CLOEXEC) != 0) {
    close(input[0]);
    close(input[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  char* arguments[] = {const_cast<char*>(helper.c_str()), const_cast<char*>(url.c_str()), nullptr};
  int failure = posix_spawn(&process->pid, helper.c_str(), &actions, nullptr, arguments, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(input[0]);
  close(output[1]);
  if (failure != 0) {
    close(input[1]);
    close(output[0]);
    return false;
  }
  process->input = input[1];
  process->output = output[0];
  fcntl(process->input, F_SETFL, O_NONBLOCK);
  // By its system call: the C library's declaration lacks C linkage in some versions.
  process->pidfd = static_cast<int>(syscall(SYS_pidfd_open, process->pid, 0));
  if (process->pidfd >= 0) return true;
  kill(process->pid, SIGKILL);
  ReapHelper(*process);
  return false;
}

// A write that reports a helper gone as EPIPE instead of ending the game with SIGPIPE: the
// signal is held back for this thread during the write, and taken back if the write raised it
// (a write cut short by the helper's end raises it too, though it reports what it wrote).
ssize_t WriteWithoutSigpipe(int descriptor, const char* data, size_t size) {
  sigset_t pipeSignal;
  sigset_t previous;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  ssize_t written = write(descriptor, data, size);
  int writeError = errno;
  timespec noWait{};
  sigtimedwait(&pipeSignal, nullptr, &noWait);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = writeError;
  return written;
}

// Writes as much of the rest of the body as the pipe takes; the helper's input is closed once
// the body is all written or the helper cannot take it.
void SendBody(HelperProcess& process, const std::string& body, size_t* sent) {
  ssize_t written = WriteWithoutSigpipe(process.input, body.data() + *sent, body.size() - *sent);
  if (written > 0) *sent += static_cast<size_t>(written);
  bool again = written < 0 && (errno == EAGAIN || errno == EINTR);
  if (*sent == body.size() || (written < 0 && !again)) CloseDescriptor(&process.input);
}

// Appends what the helper wrote, never more than one byte past the cap; false once the reply is
// past it. The output is closed at its end.
bool ReadReply(HelperProcess& process, std::string* reply) {
  char buffer[4096];
  size_t room = kMaxReplyBytes + 1 - reply->size();
  ssize_t count = read(process.output, buffer, std::min(sizeof buffer, room));
  if (count > 0) reply->append(buffer, static_cast<size_t>(count));
  if (count == 0 || (count < 0 && errno != EINTR)) CloseDescriptor(&process.output);
  return reply->size() <= kMaxReplyBytes;
}

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<long>(left.count(), 0, INT_MAX));
}

// Feeds the body and gathers the reply until the helper has ended and its output is read to the
// end, its reply has gone past the cap, or its wait is over.
HelperEnd Converse(HelperProcess& process, const std::string& body, std::string* reply) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHttpHelperWaitMs);
  size_t sent = 0;
  if (body.empty()) CloseDescriptor(&process.input);
  while (process.output >= 0 || process.pidfd >= 0) {
    int left = MillisecondsLeft(deadline);
    if (left == 0) return HelperEnd::kOverdue;
    // Closed descriptors, at -1, are left out by poll.
    pollfd waits[3] = {
        {process.input, POLLOUT, 0}, {process.output, POLLIN, 0}, {process.pidfd, POLLIN, 0}};
    int ready = poll(waits, 3, left);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return HelperEnd::kOverdue;
    if (waits[0].revents != 0) SendBody(process, body, &sent);
    if (waits[1].revents != 0 && !ReadReply(process, reply)) return HelperEnd::kOverflowed;
    if (waits[2].revents != 0) CloseDescriptor(&process.pidfd);
  }
  return HelperEnd::kEnded;
}

}  // namespace

std::string HttpHelperBesideProgram() {
  char path[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  if (length <= 0 || length == sizeof path) return std::string();
  std::string program(path, static_cast<size_t>(length));
  return program.substr(0, program.rfind('/') + 1) + kHttpHelperName;
}

// A helper that ends with a failure gives the empty reply, even after a part of one, as one
// that outlives its wait does; one that writes past the cap gives the reply cut there, as a
// server's reply past it is.
std::string PostThroughHttpHelper(const std::string& helper, const std::string& url,
                                  const std::string& body) {
  HelperProcess process;
  if (!StartHelper(helper, url, &process)) return std::string();
  std::string reply;
  HelperEnd end = Converse(process, body, &reply);
  if (end != HelperEnd::kEnded) kill(process.pid, SIGKILL);
  int status = ReapHelper(process);
  if (end == HelperEnd::kOverflowed) return reply.substr(0, kMaxReplyBytes);
  bool succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (end == HelperEnd::kOverdue || !succeeded) return std::string();
  return reply;
}
