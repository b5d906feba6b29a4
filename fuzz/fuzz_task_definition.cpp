// Task definitions from arbitrary node lists (what the XML reader hands over
// for any file in the task store): never a crash, and every action and trigger
// comes from a node that names one.
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/task_definition.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

// The input is a sequence of nodes: a byte whose value modulo 3 gives the
// kind (start, text, end), a length byte, then that many bytes of name or text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<wl::TaskXmlNode> nodes;
  std::size_t starts = 0;
  for (std::size_t i = 0; i + 1 < size;) {
    wl::TaskXmlNode node;
    node.kind = static_cast<wl::TaskXmlNode::Kind>(data[i] % 3);
    const std::size_t length = std::min<std::size_t>(data[i + 1], size - i - 2);
    node.text.assign(reinterpret_cast<const char*>(data + i + 2), length);
    starts += node.kind == wl::TaskXmlNode::Kind::Start;
    nodes.push_back(std::move(node));
    i += 2 + length;
  }
  const auto task = wl::TaskFromXmlNodes(nodes, "\\Fuzz");
  if (!task) return 0;
  Check(task->path == "\\Fuzz");
  Check(task->actions.size() + task->triggers.size() <= starts);
  return 0;
}
