// Stores of records in memory and in temporary files: every read and view gives what a plain
// array given the same appends and writes holds, on either side of the move to a file, with
// windows of any size read forward and backward; failures of the temporary file are -1.
#include "spillstore.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "testfiles.h"

using namespace velk;

namespace {

struct record {
  long index;
  double value;
};

// Open descriptors of this process on the temporaries of the stores.
int spilledfiles() {
  return openfilesnamed("velk_spill_");
}

// Appends, overwrites and views in random order against a vector, for stores that move to a file
// at once, part-way and never.
TEST(spillstore, HoldsWhatAnArrayHolds) {
  std::mt19937 random(7);
  for (size_t memory : {(size_t)0, 100 * sizeof(record), (size_t)1 << 20}) {
    for (long window : {1L, 5L, 64L}) {
      spilled<record> store(memory, window);
      std::vector<record> model;
      for (int op = 0; op < 400; op++) {
        const int kind = (int)(random() % 4);
        if (kind == 0 || model.empty()) {
          std::vector<record> more(random() % 9);
          for (record& r : more) r = {(long)model.size() + (&r - more.data()), (double)random()};
          ASSERT_EQ(store.append(more.data(), (long)more.size()), 0);
          model.insert(model.end(), more.begin(), more.end());
        } else if (kind == 1) {
          const long at = (long)(random() % model.size());
          const long n = std::min<long>(1 + random() % 7, (long)model.size() - at);
          std::vector<record> change(n, {-1, (double)random()});
          ASSERT_EQ(store.write(at, change.data(), n), 0);
          std::copy(change.begin(), change.end(), model.begin() + at);
        } else {
          const long lo = (long)(random() % model.size());
          const long hi = std::min<long>(lo + 1 + random() % 11, (long)model.size());
          const record* v = store.view(lo, hi);
          ASSERT_NE(v, nullptr);
          for (long k = lo; k < hi; k++) ASSERT_EQ(v[k - lo].value, model[k].value) << k;
          std::vector<record> copy(hi - lo);
          ASSERT_EQ(store.read(lo, copy.data(), hi - lo), 0);
          for (long k = lo; k < hi; k++) ASSERT_EQ(copy[k - lo].index, model[k].index) << k;
        }
        ASSERT_EQ(store.size(), (long)model.size());
      }
      // The whole store viewed one record at a time, from the end back and then forward.
      for (long k = (long)model.size() - 1; k >= 0; k--)
        ASSERT_EQ(store.view(k, k + 1)->value, model[k].value);
      for (long k = 0; k < (long)model.size(); k++) ASSERT_EQ(store.view(k, k + 1)->value, model[k].value);
      const bool spilled = memory < model.size() * sizeof(record);
      EXPECT_EQ(spilledfiles(), spilled ? 1 : 0) << memory;
    }
  }
  EXPECT_EQ(spilledfiles(), 0);  // each store's file went with it
}

TEST(spillstore, ResetEmptiesAndDropsTheFile) {
  spilled<float> store(0, 4);
  const std::vector<float> x = {1.0f, 2.0f, 3.0f};
  ASSERT_EQ(store.append(x.data(), 3), 0);
  EXPECT_EQ(spilledfiles(), 1);
  store.reset(1 << 10, 4);
  EXPECT_EQ(store.size(), 0);
  EXPECT_EQ(spilledfiles(), 0);
  ASSERT_EQ(store.append(x.data(), 3), 0);
  EXPECT_EQ(spilledfiles(), 0);
  EXPECT_EQ(store.view(1, 3)[1], 3.0f);
}

// The temporary goes where TMPDIR says; where it cannot be made, the append that needs it fails
// and the records held before are kept.
TEST(spillstore, TemporariesGoToTmpdirAndTheirFailureIsReported) {
  const char* saved = getenv("TMPDIR");
  const std::string keep = saved ? saved : "";
  const std::string dir = testdir();
  const std::vector<float> x(10, 1.5f);
  setenv("TMPDIR", (dir + "missing").c_str(), 1);
  {
    spilled<float> store(10 * sizeof(float), 8);
    EXPECT_EQ(store.append(x.data(), 10), 0);
    EXPECT_EQ(store.append(x.data(), 1), -1);
    EXPECT_EQ(store.size(), 10);
    EXPECT_EQ(store.view(9, 10)[0], 1.5f);
  }
  setenv("TMPDIR", dir.c_str(), 1);
  {
    spilled<float> store(0, 8);
    EXPECT_EQ(store.append(x.data(), 10), 0);
    EXPECT_EQ(spilledfiles(), 1);
    DIR* d = opendir(dir.c_str());
    ASSERT_NE(d, nullptr);
    int names = 0;
    while (const dirent* e = readdir(d)) names += e->d_name[0] != '.';
    closedir(d);
    EXPECT_EQ(names, 0) << "the temporary is unlinked at once";
  }
  if (saved)
    setenv("TMPDIR", keep.c_str(), 1);
  else
    unsetenv("TMPDIR");
}

}  // namespace
