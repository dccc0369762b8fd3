// The table of the best times for people: an HTML page in French and the same rows as JSON,
// both made from the rows the game's list reply is made of. Verified times are marked.
#pragma once

#include <string>
#include <vector>

#include "received_result.h"

// "mm:ss:cc" of a packed time (minutes · 65536 + seconds · 256 + hundredths).
std::string FormatPackedTime(int32_t time);
// The page of the best rows (best first; names in Windows-1252).
std::string RenderBestPage(const std::vector<BestRow>& rows);
// [{"rank":1,"name":"...","time":"mm:ss:cc","verified":true},...] of the best rows, names in
// UTF-8.
std::string RenderBestJson(const std::vector<BestRow>& rows);
