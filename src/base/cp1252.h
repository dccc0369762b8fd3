// Conversion between the program's Windows-1252 texts and the UTF-8 that GTK and Pango expect.
#pragma once

#include <string>
#include <string_view>

std::string Cp1252ToUtf8(std::string_view text);
// Characters that Windows-1252 cannot hold become "?".
std::string Utf8ToCp1252(std::string_view text);
