#include "score_pages.h"

#include <cstdint>
#include <cstdio>

#include "base/cp1252.h"

namespace {

// The text as HTML character data; control characters, which a page cannot show, are left out.
std::string EscapeHtml(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20) escaped += c;
    }
  }
  return escaped;
}

std::string EscapeJson(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '"' || c == '\\') {
      escaped += '\\';
      escaped += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char code[8];
      std::snprintf(code, sizeof code, "\\u%04x", c);
      escaped += code;
    } else {
      escaped += c;
    }
  }
  return escaped;
}

constexpr const char* kPageStart =
    "<!DOCTYPE html>\n"
    "<html lang=\"fr\">\n"
    "<head>\n"
    "<meta charset=\"utf-8\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<title>Kestrow \xE2\x80\x94 meilleurs temps</title>\n"
    "<style>\n"
    "body{font-family:sans-serif;margin:0 auto;max-width:32em;padding:1em;color:#202020;"
    "background:#f4f1ea}\n"
    "h1{font-size:1.4em}\n"
    "table{width:100%;border-collapse:collapse}\n"
    "th,td{padding:.4em .6em;text-align:left;border-bottom:1px solid #d8d2c4}\n"
    "td.rang,td.temps{font-variant-numeric:tabular-nums}\n"
    "td.nom{overflow-wrap:anywhere}\n"
    "span.verifie{color:#1d7a3a;margin-left:.3em}\n"
    "</style>\n"
    "</head>\n"
    "<body>\n"
    "<h1>Kestrow \xE2\x80\x94 les 16 meilleurs temps</h1>\n"
    "<p>\xE2\x9C\x93 : temps v\xC3\xA9rifi\xC3\xA9 par le serveur, qui a rejou\xC3\xA9 la "
    "partie.</p>\n";

// The mark after a verified time.
constexpr const char* kVerifiedMark =
    "<span class=\"verifie\" title=\"temps v\xC3\xA9rifi\xC3\xA9\">\xE2\x9C\x93</span>";

}  // namespace

std::string FormatPackedTime(int32_t time) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", (time >> 16) & 0xFFFF, (time >> 8) & 0xFF,
                time & 0xFF);
  return text;
}

std::string RenderBestPage(const std::vector<BestRow>& rows) {
  std::string page = kPageStart;
  if (rows.empty()) {
    page += "<p>Aucun temps pour l\xE2\x80\x99instant.</p>\n";
  } else {
    page += "<table>\n<thead><tr><th>Rang</th><th>Nom</th><th>Temps</th></tr></thead>\n<tbody>\n";
    for (size_t i = 0; i < rows.size(); ++i) {
      page += "<tr><td class=\"rang\">" + std::to_string(i + 1) + "</td><td class=\"nom\">" +
              EscapeHtml(Cp1252ToUtf8(rows[i].name)) + "</td><td class=\"temps\">" +
              FormatPackedTime(rows[i].time) + (rows[i].verified ? kVerifiedMark : "") +
              "</td></tr>\n";
    }
    page += "</tbody>\n</table>\n";
  }
  return page + "</body>\n</html>\n";
}

std::string RenderBestJson(const std::vector<BestRow>& rows) {
  std::string json = "[";
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i > 0) json += ',';
    json += "{\"rank\":" + std::to_string(i + 1) + ",\"name\":\"" +
            EscapeJson(Cp1252ToUtf8(rows[i].name)) + "\",\"time\":\"" +
            FormatPackedTime(rows[i].time) +
            "\",\"verified\":" + (rows[i].verified ? "true" : "false") + "}";
  }
  return json + "]\n";
}
