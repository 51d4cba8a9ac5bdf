// Replays every input kept under fuzz/corpus/<target>/ through the entry function of its
// fuzz target, so that each input that once failed stays fixed in the ordinary test run.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "fuzzcheck.h"

namespace {

using Entry = int (*)(const uint8_t*, size_t);

struct Target {
  const char* name;
  Entry entry;
};

void PrintTo(const Target& t, std::ostream* os) {
  *os << t.name;
}

const Target kTargets[] = {
    {"wavread", fuzz_wavread},     {"soundread", fuzz_soundread},     {"paramfiles", fuzz_paramfiles},
    {"paramread", fuzz_paramread}, {"paramrecord", fuzz_paramrecord}, {"cmdline", fuzz_cmdline},
#ifdef FUZZ_GRAPH
    {"graph", fuzz_graph},
#endif
#ifdef FUZZ_RIFF
    {"riff", fuzz_riff},
#endif
};

std::vector<std::string> violations;

void record_violation(const char* target, const char* what) {
  violations.push_back(std::string(target) + ": " + what);
}

class CorpusReplay : public ::testing::TestWithParam<Target> {};

TEST_P(CorpusReplay, EveryKeptInputPassesItsChecks) {
  set_fuzz_failure_handler(record_violation);
  const std::vector<std::string> files = corpus_files(GetParam().name);
  ASSERT_FALSE(files.empty()) << "no inputs kept for " << GetParam().name;
  for (const std::string& path : files) {
    violations.clear();
    const std::string bytes = file_bytes(path);
    GetParam().entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    for (const std::string& v : violations) ADD_FAILURE() << path << ": " << v;
  }
  set_fuzz_failure_handler(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusReplay, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<Target>& info) {
                           return std::string(info.param.name);
                         });

// The checks themselves must be able to fail: a violation reaches the installed handler.
TEST(FuzzCheck, ReportsAViolationToTheHandler) {
  set_fuzz_failure_handler(record_violation);
  violations.clear();
  fuzz_check(true, "t", "holds");
  fuzz_check(false, "t", "broken");
  set_fuzz_failure_handler(nullptr);
  ASSERT_EQ(violations.size(), 1u);
  EXPECT_EQ(violations[0], "t: broken");
}

}  // namespace
