// kestrow-scores: keeps the shared table of Kestrow's best times.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "score_server.h"

namespace {

constexpr const char* kUsage =
    "Usage: kestrow-scores [--port N] [--db FILE] [--listen ADDR] [--rate N]\n"
    "\n"
    "The score server of Kestrow. It answers the game's POST requests on\n"
    "/public/index.php?a=KestrowRes: \"action=get\" with the sixteen best times, and\n"
    "\"action=set&nom=NAME&tmp=TOKEN\" by storing the result and replying its rank\n"
    "(1 the best, 0 when it is not among the sixteen; a bad token is refused with 0).\n"
    "\n"
    "  --port N      TCP port to listen on (default 80; 0 picks a free port)\n"
    "  --db FILE     SQLite database of the results (default kestrow-scores.db in the\n"
    "                current directory; created when missing)\n"
    "  --listen ADDR address to listen on (default 0.0.0.0)\n"
    "  --rate N      requests a second allowed to one client address (default 5)\n"
    "  --help        show this text\n"
    "\n"
    "It prints \"listening on ADDR:PORT\" once ready and stops on SIGTERM or SIGINT.\n";

bool ReadNumber(const char* text, double low, double high, double* value) {
  char* end = nullptr;
  double number = std::strtod(text, &end);
  if (end == text || *end != '\0' || number < low || number > high) return false;
  *value = number;
  return true;
}

// Fills the settings from the arguments; false on an unknown or incomplete option.
bool ParseArguments(int argc, char** argv, ServerSettings* settings) {
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    double number = 0;
    if (option == "--port" && ReadNumber(value, 0, 65535, &number)) {
      settings->port = static_cast<int>(number);
    } else if (option == "--db" && *value) {
      settings->databasePath = value;
    } else if (option == "--listen" && *value) {
      settings->listenAddress = value;
    } else if (option == "--rate" && ReadNumber(value, 0.001, 1e9, &number)) {
      settings->requestsPerSecond = number;
    } else {
      return false;
    }
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
  ServerSettings settings{"0.0.0.0", 80, "kestrow-scores.db", 5};
  if (!ParseArguments(argc, argv, &settings)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  return RunScoreServer(settings);
}
