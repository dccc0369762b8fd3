// kestrow-scores: keeps the shared table of Kestrow's best times.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "score_server.h"

namespace {

constexpr const char* kUsage =
    "Usage: kestrow-scores [OPTION VALUE]...\n"
    "\n"
    "The score server of Kestrow. It answers the game's POST requests on\n"
    "/public/index.php?a=KestrowRes: \"action=get\" with the sixteen best times, and\n"
    "\"action=set&nom=NAME&tmp=TOKEN\" by storing the result and replying its rank\n"
    "(1 the best, 0 when it is not among the sixteen; a bad token is refused with 0).\n"
    "The list keeps one best time per name and network adapter. Results no game can\n"
    "give are refused with 0 and not stored: an empty name, or a time under 10.20 s\n"
    "(2000 points need 34 removals of rows at least, each stopping the game for\n"
    "three flashes of 100 ms).\n"
    "\n"
    "  --port N          TCP port to listen on (default 80; 0 picks a free port)\n"
    "  --db FILE|URI     SQLite database of the results (default kestrow-scores.db in\n"
    "                    the current directory; created when missing), or a PostgreSQL\n"
    "                    connection URI (postgresql://USER@HOST:PORT/DATABASE) that\n"
    "                    several servers can share\n"
    "  --listen ADDR     address to listen on (default 0.0.0.0)\n"
    "  --rate N          requests a second allowed to one client address (default 5)\n"
    "  --connections N   open connections in all (default 2048)\n"
    "  --connections-per-address N\n"
    "                    open connections from one client address (default 32)\n"
    "  --header-bytes N  memory of one connection for its request line and headers;\n"
    "                    larger requests are refused (default 32768)\n"
    "  --body-bytes N    largest request body (default 4096)\n"
    "  --idle-timeout S  seconds a connection may stay silent (default 5)\n"
    "  --request-timeout S\n"
    "                    seconds a connection may take to send a whole request, from\n"
    "                    its opening or the previous answer (default 10)\n"
    "  --trusted-proxy ADDR\n"
    "                    the address of a proxy (HAProxy) in front of the server: for\n"
    "                    its requests alone, the client is the last address of\n"
    "                    X-Forwarded-For, and the request rate is counted for it\n"
    "  --metrics-port N  serve GET /metrics (Prometheus text) on this port, on a\n"
    "                    listener of its own (default: no metrics; 0 picks a port)\n"
    "  --metrics-listen ADDR\n"
    "                    address of the metrics listener (default 127.0.0.1)\n"
    "  --help            show this text\n"
    "\n"
    "GET / shows the sixteen best times as a page in French, GET /scores.json as\n"
    "JSON, and GET /healthz answers 200 while the database answers, 503 otherwise.\n"
    "\n"
    "It refuses to start when another program listens on the port. It prints\n"
    "\"listening on ADDR:PORT\" once ready and stops on SIGTERM or SIGINT, closing\n"
    "every connection. Database errors are answered 500 and logged once per cause.\n";

// An option with a whole number between two bounds.
struct WholeOption {
  const char* name;
  int low;
  int high;
  int ServerSettings::*field;
};

constexpr WholeOption kWholeOptions[] = {
    {"--port", 0, 65535, &ServerSettings::port},
    {"--connections", 1, 100000, &ServerSettings::maxConnections},
    {"--connections-per-address", 1, 100000, &ServerSettings::maxConnectionsPerAddress},
    {"--header-bytes", 4096, 1048576, &ServerSettings::maxHeaderBytes},
    {"--body-bytes", 256, 4096, &ServerSettings::maxBodyBytes},
    {"--idle-timeout", 1, 3600, &ServerSettings::idleTimeoutSeconds},
    {"--request-timeout", 1, 3600, &ServerSettings::requestTimeoutSeconds},
    {"--metrics-port", 0, 65535, &ServerSettings::metricsPort},
};

constexpr double kLowestRate = 0.001;
constexpr double kHighestRate = 1e9;

bool Refuse(const std::string& message) {
  std::fprintf(stderr, "kestrow-scores: %s (see --help)\n", message.c_str());
  return false;
}

// Reads the whole text as a number; NaN and infinities are not numbers here.
bool ReadNumber(const char* text, double* number) {
  char* end = nullptr;
  *number = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(*number);
}

bool ReadWholeOption(const WholeOption& option, const char* value, ServerSettings* settings) {
  double number = 0;
  if (!ReadNumber(value, &number) || number != std::floor(number) || number < option.low ||
      number > option.high) {
    return Refuse(std::string(option.name) + " needs a whole number from " +
                  std::to_string(option.low) + " to " + std::to_string(option.high) + ", not \"" +
                  value + "\"");
  }
  settings->*option.field = static_cast<int>(number);
  return true;
}

bool ReadOption(const std::string& option, const char* value, ServerSettings* settings) {
  for (const WholeOption& whole : kWholeOptions) {
    if (option == whole.name) return ReadWholeOption(whole, value, settings);
  }
  if (option == "--rate") {
    double number = 0;
    if (!ReadNumber(value, &number) || number < kLowestRate || number > kHighestRate) {
      return Refuse(std::string("--rate needs a number from 0.001 to 1000000000, not \"") + value +
                    "\"");
    }
    settings->requestsPerSecond = number;
    return true;
  }
  std::string* text = option == "--db"               ? &settings->databasePath
                      : option == "--listen"         ? &settings->listenAddress
                      : option == "--trusted-proxy"  ? &settings->trustedProxy
                      : option == "--metrics-listen" ? &settings->metricsAddress
                                                     : nullptr;
  if (!text) return Refuse("unknown option \"" + option + "\"");
  if (!*value) return Refuse(option + " needs a value");
  *text = value;
  return true;
}

// Fills the settings from the arguments; false, with a message, on a wrong one.
bool ParseArguments(int argc, char** argv, ServerSettings* settings) {
  for (int i = 1; i < argc; i += 2) {
    if (i + 1 >= argc) return Refuse(std::string(argv[i]) + " needs a value");
    if (!ReadOption(argv[i], argv[i + 1], settings)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  ServerSettings settings{"0.0.0.0", 80, "kestrow-scores.db", 5, 2048, 32, 32768, 4096, 5,
                          10,        "", "127.0.0.1",         -1};
  if (!ParseArguments(argc, argv, &settings)) return 2;
  return RunScoreServer(settings);
}
