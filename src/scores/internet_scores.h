// The exchange with the score server.
#pragma once

#include <string>

#include "scores/score_table.h"

void FetchInternetScores();
// Sends a won game's result; returns the server's reply, empty when the exchange failed.
std::string SubmitResult(const std::string& name, PackedTime time);
