/* silent_server PORT ANSWERED REPLY: a score server that answers the first ANSWERED requests with
 * REPLY, then accepts every later connection and never answers it (the connections stay open).
 * Listens on 127.0.0.1 until killed. */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s PORT ANSWERED REPLY\n", argv[0]);
    return 2;
  }
  int answered = atoi(argv[2]);
  const char* reply = argv[3];
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  struct sockaddr_in address = {0};
  address.sin_family = AF_INET;
  address.sin_port = htons((unsigned short)atoi(argv[1]));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, (struct sockaddr*)&address, sizeof address) != 0 ||
      listen(listener, 16) != 0) {
    perror("silent_server");
    return 1;
  }
  for (int served = 0;; ++served) {
    int connection = accept(listener, NULL, NULL);
    if (connection < 0) continue;
    if (served >= answered) continue; /* held open, never answered */
    char request[4096];
    recv(connection, request, sizeof request, 0);
    char response[4096];
    int length = snprintf(response, sizeof response,
                          "HTTP/1.1 200 OK\r\nContent-Length: %zu\r\nConnection: close\r\n\r\n%s",
                          strlen(reply), reply);
    send(connection, response, (size_t)length, MSG_NOSIGNAL);
    close(connection);
  }
}
