/* recording_proxy PORT UPSTREAM_PORT LOG: passes each HTTP request made to 127.0.0.1:PORT on to
 * 127.0.0.1:UPSTREAM_PORT and its answer back, one request per connection and one connection at
 * a time, and appends the request's body to LOG as one line. Runs until killed. */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

enum { kMaxRequest = 1 << 20 };

static int Listen(int port) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  struct sockaddr_in address = {0};
  address.sin_family = AF_INET;
  address.sin_port = htons((unsigned short)port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, (struct sockaddr*)&address, sizeof address) != 0 ||
      listen(listener, 16) != 0) {
    return -1;
  }
  return listener;
}

static int Connect(int port) {
  int connection = socket(AF_INET, SOCK_STREAM, 0);
  struct sockaddr_in address = {0};
  address.sin_family = AF_INET;
  address.sin_port = htons((unsigned short)port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(connection, (struct sockaddr*)&address, sizeof address) != 0) {
    close(connection);
    return -1;
  }
  return connection;
}

/* Reads a request or an answer: the head up to its blank line and as many body bytes as its
 * Content-Length says. Returns its length (0 when the peer closed first) and sets *body to where
 * its body starts. */
static size_t ReadMessage(int connection, char* request, size_t* body) {
  size_t length = 0;
  for (;;) {
    request[length] = '\0';
    char* end = strstr(request, "\r\n\r\n");
    if (end != NULL) {
      *body = (size_t)(end + 4 - request);
      const char* field = strstr(request, "Content-Length: ");
      size_t expected = field != NULL && field < end ? strtoul(field + 16, NULL, 10) : 0;
      if (length >= *body + expected) return length;
    }
    ssize_t count = recv(connection, request + length, kMaxRequest - 1 - length, 0);
    if (count <= 0) return 0;
    length += (size_t)count;
  }
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s PORT UPSTREAM_PORT LOG\n", argv[0]);
    return 2;
  }
  int listener = Listen(atoi(argv[1]));
  if (listener < 0) {
    perror("recording_proxy");
    return 1;
  }
  static char request[kMaxRequest];
  static char answer[kMaxRequest];
  for (;;) {
    int client = accept(listener, NULL, NULL);
    if (client < 0) continue;
    size_t body = 0;
    size_t length = ReadMessage(client, request, &body);
    int upstream = length > 0 ? Connect(atoi(argv[2])) : -1;
    if (upstream >= 0) {
      FILE* log = fopen(argv[3], "a");
      if (log != NULL) {
        fprintf(log, "%.*s\n", (int)(length - body), request + body);
        fclose(log);
      }
      send(upstream, request, length, MSG_NOSIGNAL);
      size_t answerBody = 0;
      size_t answerLength = ReadMessage(upstream, answer, &answerBody);
      send(client, answer, answerLength, MSG_NOSIGNAL);
      close(upstream);
    }
    close(client);
  }
}
