// kestrow-scores: keeps the shared table of Kestrow's best times.
#include <getopt.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "replay_verification.h"
#include "score_requests.h"
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
    "\"action=seed\" answers a single-use seed (16 hexadecimal digits) for the game\n"
    "about to start, valid 6 hours. A submission may carry the game's replay,\n"
    "\"&rep=REPLAY\": the server plays it again with the game's rules and stores the\n"
    "result verified when it reaches 2000 points at the time claimed, from actions a\n"
    "person can press (at most 12 presses a second over any 10 s, 25 within any\n"
    "second, 60 actions within any second with held keys, not most changes of key\n"
    "under 20 ms), in a replay never sent before; when the game played a seed of\n"
    "this server, that seed must be unused and the result arrive no sooner than\n"
    "3 s plus the game's time after the seed's issue. Otherwise the result is\n"
    "stored refused, never listed, and answered 0. A submission without a replay\n"
    "is stored unverified, as before.\n"
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
    "  --body-bytes N    largest request body (default 32768, room for the replay\n"
    "                    of a long game)\n"
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
    "  --verified-only   the shared list and the ranks count verified results alone\n"
    "                    (by default unverified results, sent without a replay as\n"
    "                    older games and peers do, count too)\n"
    "  --verify FILE     check the replay in FILE (the base64url text a game sends\n"
    "                    as rep=, as one line) without a database: print whether it\n"
    "                    verifies and why not, exit 0 when it does, 1 otherwise\n"
    "  --help            show this text\n"
    "\n"
    "GET / shows the sixteen best times as a page in French, GET /scores.json as\n"
    "JSON, and GET /healthz answers 200 while the database answers, 503 otherwise.\n"
    "\n"
    "It refuses to start when another program listens on the port. It prints\n"
    "\"listening on ADDR:PORT\" once ready and stops on SIGTERM or SIGINT, closing\n"
    "every connection. Database errors are answered 500 and logged once per cause.\n";

// getopt_long gives each option its index in this table as its code.
enum OptionCode {
  kPort,
  kConnections,
  kConnectionsPerAddress,
  kHeaderBytes,
  kBodyBytes,
  kIdleTimeout,
  kRequestTimeout,
  kMetricsPort,
  kRate,
  kDatabase,
  kListen,
  kTrustedProxy,
  kMetricsListen,
  kVerify,
  kVerifiedOnly,
  kHelp,
};

constexpr option kOptions[] = {
    {"port", required_argument, nullptr, kPort},
    {"connections", required_argument, nullptr, kConnections},
    {"connections-per-address", required_argument, nullptr, kConnectionsPerAddress},
    {"header-bytes", required_argument, nullptr, kHeaderBytes},
    {"body-bytes", required_argument, nullptr, kBodyBytes},
    {"idle-timeout", required_argument, nullptr, kIdleTimeout},
    {"request-timeout", required_argument, nullptr, kRequestTimeout},
    {"metrics-port", required_argument, nullptr, kMetricsPort},
    {"rate", required_argument, nullptr, kRate},
    {"db", required_argument, nullptr, kDatabase},
    {"listen", required_argument, nullptr, kListen},
    {"trusted-proxy", required_argument, nullptr, kTrustedProxy},
    {"metrics-listen", required_argument, nullptr, kMetricsListen},
    {"verify", required_argument, nullptr, kVerify},
    {"verified-only", no_argument, nullptr, kVerifiedOnly},
    {"help", no_argument, nullptr, kHelp},
    {nullptr, 0, nullptr, 0},
};

// The bounds of the options that take a whole number, by code.
struct WholeBounds {
  int low;
  int high;
  int ServerSettings::*field;
};

constexpr WholeBounds kWholeBounds[] = {
    {0, 65535, &ServerSettings::port},
    {1, 100000, &ServerSettings::maxConnections},
    {1, 100000, &ServerSettings::maxConnectionsPerAddress},
    {4096, 1048576, &ServerSettings::maxHeaderBytes},
    {256, static_cast<int>(kMaxRequestBody), &ServerSettings::maxBodyBytes},
    {1, 3600, &ServerSettings::idleTimeoutSeconds},
    {1, 3600, &ServerSettings::requestTimeoutSeconds},
    {0, 65535, &ServerSettings::metricsPort},
};

constexpr double kLowestRate = 0.001;
constexpr double kHighestRate = 1e9;

bool Refuse(const std::string& message) {
  std::fprintf(stderr, "kestrow-scores: %s (see --help)\n", message.c_str());
  return false;
}

std::string OptionName(int code) {
  return std::string("--") + kOptions[code].name;
}

// Reads the whole text as a number; NaN and infinities are not numbers here.
bool ReadNumber(const char* text, double* number) {
  char* end = nullptr;
  *number = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(*number);
}

bool ReadWholeOption(int code, const char* value, ServerSettings* settings) {
  const WholeBounds& bounds = kWholeBounds[code];
  double number = 0;
  if (!ReadNumber(value, &number) || number != std::floor(number) || number < bounds.low ||
      number > bounds.high) {
    return Refuse(OptionName(code) + " needs a whole number from " + std::to_string(bounds.low) +
                  " to " + std::to_string(bounds.high) + ", not \"" + value + "\"");
  }
  settings->*bounds.field = static_cast<int>(number);
  return true;
}

bool ReadOption(int code, const char* value, ServerSettings* settings) {
  if (code < kRate) return ReadWholeOption(code, value, settings);
  if (code == kRate) {
    double number = 0;
    if (!ReadNumber(value, &number) || number < kLowestRate || number > kHighestRate) {
      return Refuse(std::string("--rate needs a number from 0.001 to 1000000000, not \"") + value +
                    "\"");
    }
    settings->requestsPerSecond = number;
    return true;
  }
  if (!*value) return Refuse(OptionName(code) + " needs a value");
  std::string ServerSettings::*const kTexts[] = {
      &ServerSettings::databasePath, &ServerSettings::listenAddress, &ServerSettings::trustedProxy,
      &ServerSettings::metricsAddress};
  settings->*kTexts[code - kDatabase] = value;
  return true;
}

// What is wrong with the option getopt_long stopped at: its value is missing (':'), or it is
// not one of ours ('?').
std::string WrongOption(int code, char** argv) {
  if (code == ':') return OptionName(optopt) + " needs a value";
  return std::string("unknown option \"") + argv[optind - 1] + "\"";
}

enum class Arguments { run, help, verify, wrong };

// Fills the settings, or the replay file to verify, from the arguments; a wrong one is told on
// the standard error.
Arguments ParseArguments(int argc, char** argv, ServerSettings* settings, std::string* replayFile) {
  opterr = 0;
  int code;
  while ((code = getopt_long(argc, argv, ":", kOptions, nullptr)) != -1) {
    if (code == kHelp) return Arguments::help;
    if (code == kVerify) {
      *replayFile = optarg;
      continue;
    }
    if (code == kVerifiedOnly) {
      settings->verifiedOnly = true;
      continue;
    }
    bool read = code == '?' || code == ':' ? Refuse(WrongOption(code, argv))
                                           : ReadOption(code, optarg, settings);
    if (!read) return Arguments::wrong;
  }
  if (optind < argc) {
    Refuse(std::string("unexpected argument \"") + argv[optind] + "\"");
    return Arguments::wrong;
  }
  return replayFile->empty() ? Arguments::run : Arguments::verify;
}

// Checks a replay file offline: the time it claims is the time it reaches, and a seed issued
// by a server is taken as issued, since only that server knows. 0 when it verifies.
int VerifyReplayFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) {
    std::fprintf(stderr, "kestrow-scores: cannot read %s\n", path.c_str());
    return 1;
  }
  std::stringstream text;
  text << file.rdbuf();
  std::string replay = text.str();
  size_t end = replay.find_last_not_of(" \t\r\n");
  replay.erase(end == std::string::npos ? 0 : end + 1);
  replay.erase(0, replay.find_first_not_of(" \t\r\n"));
  ReplayVerdict verdict = VerifyReplay(replay, -1);
  std::printf("%s: %s\n", verdict.status.c_str(), DescribeStatus(verdict.status, verdict).c_str());
  if (verdict.status == kVerified && verdict.replay.serverSeed) {
    std::printf(
        "its seed was issued by a score server, which alone can tell it was unused and "
        "the result came in time\n");
  }
  return verdict.status == kVerified ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  ServerSettings settings{"0.0.0.0", 80, "kestrow-scores.db", 5,  2048, 32, 32768, 32768, 5,
                          10,        "", "127.0.0.1",         -1, false};
  std::string replayFile;
  switch (ParseArguments(argc, argv, &settings, &replayFile)) {
    case Arguments::help:
      std::fputs(kUsage, stdout);
      return 0;
    case Arguments::verify:
      return VerifyReplayFile(replayFile);
    case Arguments::wrong:
      return 2;
    case Arguments::run:
      break;
  }
  return RunScoreServer(settings);
}
