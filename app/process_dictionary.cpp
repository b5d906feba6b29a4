#include "app/process_dictionary.h"

#include "core/ascii.h"
#include "sysroutines/text_routines.h"

namespace wl::app {

DictionaryAnswer LookupProcessDictionary(std::string_view typed, const ReferenceTables& tables,
                                         std::string_view windowsDir) {
  DictionaryAnswer answer;
  answer.processName = AsciiLower(ExtractExecutablePath(typed, windowsDir));
  answer.information = LookupVerdict(answer.processName, tables.process);
  return answer;
}

std::string DictionaryMessage(const DictionaryAnswer& answer) {
  return "Process Name: " + answer.processName + "\r\nProcess Information: \r\n" + answer.information;
}

}  // namespace wl::app
