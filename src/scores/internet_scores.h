// The exchange with the score server.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/score_table.h"
#include "game/replay.h"
#include "scores/http_exchange.h"
#include "scores/score_server_protocol.h"

// Replaces the internet table by the server's list and returns true; an empty reply leaves it
// as it was.
bool FetchInternetScores();
// The start-up fetch: made from the message loop once the main window shows, so that the window
// never waits for the server; the list is redrawn when the reply comes.
void FetchInternetScoresOnceShown();
// Called after each paint of the main window: makes the start-up fetch if one waits.
void RunStartupFetch();
// Asks the server for a single-use seed for the game that starts, without waiting for the
// answer; does nothing unless "Scores Internet" is on.
void RequestServerSeed();
// The seed of the last request when its answer has come and names one. False when there was
// no request, no answer yet, or an answer that is no seed (a server that does not issue seeds
// says "0" or nothing): the game then takes a seed of its own. A request is collected once.
bool CollectServerSeed(uint64_t* seed);
// A seed as the server writes it: exactly 16 lower-case hexadecimal digits.
bool ReadServerSeed(std::string_view reply, uint64_t* seed);
// Sends a won game's result, with the game's replay when there is one, so that the server can
// verify the time; returns the server's reply, empty when the exchange failed.
std::string SubmitResult(const std::string& name, PackedTime time, const Replay* replay);

// One POST of `body` to the score server; the reply's body, empty when nothing could be read.
std::string ScoreServerExchange(const std::string& body);
// The token of a submission, with a fresh mask; empty when the machine has no adapter address.
std::string BuildSubmissionToken(uint32_t encodedTime);
// Fills the table from a list reply: name and time of row 0, row 1, ... joined by "|".
void ReadInternetTable(std::string_view reply, ScoreTable& table);

// The server the game talks to: the build's setting until a test points it elsewhere.
void SetScoreServer(const std::string& host, int port);
// The program that makes the exchanges: kestrow-http beside the running program until a test,
// whose program lies elsewhere, points at another.
void SetHttpHelper(const std::string& path);
