// kestrow-http URL: posts its standard input to URL as a form, as the game's exchange with the
// score server does, and writes the reply's body on its standard output. The game runs it for
// each exchange so that libcurl and its TLS libraries never load into the game. Whatever the
// exchange gives, the reply read so far is written and the exit code is 0; it is 2 when the
// arguments or the request cannot be read, 1 when the reply cannot be written.
#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "scores/http_exchange.h"
#include "scores/score_server_protocol.h"

namespace {

constexpr size_t kReadChunk = 1024;

// The reply so far; a delivery is taken in chunks of at most 1024 bytes, each cut at its first
// NUL, and reading stops once the reply holds its maximum.
size_t ReceiveReply(char* data, size_t, size_t count, void* userData) {
  auto* reply = static_cast<std::string*>(userData);
  for (size_t start = 0; start < count; start += kReadChunk) {
    size_t length = std::min(kReadChunk, count - start);
    const char* nul = static_cast<const char*>(std::memchr(data + start, '\0', length));
    if (nul) length = static_cast<size_t>(nul - (data + start));
    size_t room = kMaxReplyBytes - reply->size();
    reply->append(data + start, std::min(length, room));
    if (reply->size() == kMaxReplyBytes) return 0;
  }
  return count;
}

// One POST.
std::string PostToScoreServer(const char* url, const std::string& body) {
  std::string reply;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return reply;
  curl_slist* headers =
      curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
  headers = curl_slist_append(headers, "Expect:");
  curl_easy_setopt(curl, CURLOPT_URL, url);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kExchangeTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kScoreServerAgent);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, static_cast<long>(kReadChunk));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, ReceiveReply);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
  curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  curl_slist_free_all(headers);
  return reply;
}

// Standard input to its end; false when it cannot be read.
bool ReadBody(std::string* body) {
  char buffer[4096];
  for (;;) {
    ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer);
    if (count == 0) return true;
    if (count < 0 && errno != EINTR) return false;
    if (count > 0) body->append(buffer, static_cast<size_t>(count));
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string body;
  if (argc != 2 || !ReadBody(&body)) return 2;
  curl_global_init(CURL_GLOBAL_DEFAULT);
  std::string reply = PostToScoreServer(argv[1], body);
  bool written = std::fwrite(reply.data(), 1, reply.size(), stdout) == reply.size();
  return written && std::fflush(stdout) == 0 ? 0 : 1;
}
