// A judge over this system for tests: the given reference tables (none by
// default) and the system's own answers about files.
#pragma once

#include <utility>

#include "judge/windows_facts.h"

namespace wl::test {

class SystemJudge {
 public:
  explicit SystemJudge(ReferenceTables tables = {}) : tables_(std::move(tables)) {}
  SystemJudge(const SystemJudge&) = delete;
  SystemJudge& operator=(const SystemJudge&) = delete;
  operator const Judge&() const { return judge_; }
  const Judge& get() const { return judge_; }

 private:
  ReferenceTables tables_;
  WindowsFacts facts_;
  Judge judge_{tables_, facts_};
};

}  // namespace wl::test
