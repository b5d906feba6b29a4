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

}  // namespace wl
