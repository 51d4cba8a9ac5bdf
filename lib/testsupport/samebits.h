#pragma once
// Bitwise equality of two arrays of doubles, for the tests of restructured computations that must
// give the same values as the original ones.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

// Adds a failure naming `what` and the first index where a and b differ in size or in any bit.
inline void expect_same_bits(const std::vector<double>& a, const std::vector<double>& b, const char* what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) {
      ADD_FAILURE() << what << " differs first at " << i << ": " << a[i] << " against " << b[i];
      return;
    }
}
