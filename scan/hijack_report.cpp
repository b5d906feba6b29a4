#include "scan/hijack_report.h"

namespace wl {

std::string HijackReportFileName(const std::string& date) {
  std::string name = "Hijack_Report(" + date + ").txt";
  for (char& c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
        c == '|')
      c = '-';
  }
  return name;
}

std::vector<std::string> HijackReportLines(const std::string& date, const std::string& systemName,
                                           const std::vector<HijackRow>& rows) {
  std::vector<std::string> lines = {"---Quellstone Hijack Report---", "---Date: " + date,
                                    "---Operation System: " + systemName, " ", " "};
  for (const auto& r : rows) lines.push_back(r.description + ": " + r.itemName);
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  return text;
}

}  // namespace wl
