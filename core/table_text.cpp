#include "core/table_text.h"

namespace wl {
namespace {

void AppendLine(std::string& out, const TextRow& cells) {
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i) out += '\t';
    for (char c : cells[i]) out += (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
  }
  out += '\n';
}

}  // namespace

std::string FormatTable(const TextRow& header, const std::vector<TextRow>& rows) {
  std::string out;
  AppendLine(out, header);
  for (const TextRow& r : rows) AppendLine(out, r);
  return out;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string FormatCsv(const TextRow& header, const std::vector<TextRow>& rows) {
  std::string out;
  auto record = [&out](const TextRow& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (i) out += ',';
      out += CsvField(cells[i]);
    }
    out += "\r\n";
  };
  record(header);
  for (const TextRow& r : rows) record(r);
  return out;
}

std::string KeyFromCaption(const std::string& caption, std::size_t column) {
  // Words: runs of ASCII letters and digits; a capital after a small letter
  // starts a new word ("RegistryKey"). Other bytes separate words.
  std::vector<std::string> words;
  std::string word;
  auto isLower = [](char c) { return c >= 'a' && c <= 'z'; };
  auto isUpper = [](char c) { return c >= 'A' && c <= 'Z'; };
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  for (char c : caption) {
    if (!isLower(c) && !isUpper(c) && !isDigit(c)) {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
      continue;
    }
    if (isUpper(c) && !word.empty() && isLower(word.back())) {
      words.push_back(std::move(word));
      word.clear();
    }
    word += c;
  }
  if (!word.empty()) words.push_back(std::move(word));
  std::string key;
  for (const std::string& w : words) {
    for (std::size_t i = 0; i < w.size(); ++i) {
      char c = w[i];
      if (isUpper(c)) c = static_cast<char>(c - 'A' + 'a');
      if (i == 0 && !key.empty() && isLower(c)) c = static_cast<char>(c - 'a' + 'A');
      key += c;
    }
  }
  if (key.empty() || isDigit(key.front())) key = "column" + std::to_string(column + 1) + key;
  return key;
}

}  // namespace wl
