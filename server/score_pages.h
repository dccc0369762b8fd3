// The table of the best times for people: an HTML page in French and the same rows as JSON,
// both made from the list reply the game reads.
#pragma once

#include <string>

// "mm:ss:cc" of a packed time (minutes · 65536 + seconds · 256 + hundredths).
std::string FormatPackedTime(int32_t time);
// The page of the list text (name "|" time pairs, best first; names in Windows-1252).
std::string RenderBestPage(const std::string& list);
// [{"rank":1,"name":"...","time":"mm:ss:cc"},...] of the list text, names in UTF-8.
std::string RenderBestJson(const std::string& list);
