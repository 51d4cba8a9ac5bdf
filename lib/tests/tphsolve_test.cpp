#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "numeric.h"

using namespace velk;

// The tests of short memory ask for more than the sanitizers' allocator hands out: it is to
// return null, as the standard allocator does, instead of ending the test.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}

namespace {

struct System {
  std::vector<double> t, h;
};

// A random system made diagonally dominant, so that every leading block the recursion meets
// is well conditioned.
System random_system(int n, std::mt19937& gen) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  System s{std::vector<double>(n), std::vector<double>(2 * n - 1)};
  for (double& v : s.t) v = u(gen);
  for (double& v : s.h) v = u(gen);
  s.t[0] = 2.0 * n + 1.0 + u(gen);
  return s;
}

// (T + H)·a computed entry by entry.
std::vector<double> multiply(const System& s, const std::vector<double>& a) {
  const int n = static_cast<int>(a.size());
  std::vector<double> b(n, 0.0);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < n; j++) b[i] += (s.t[std::abs(i - j)] + s.h[i + j]) * a[j];
  return b;
}

std::vector<double> solve(const System& s, const std::vector<double>& b, double eps = 1e-12) {
  std::vector<double> a(b.size(), 0.0);
  EXPECT_EQ(tphsolve(s.t.data(), s.h.data(), a.data(), b.data(), static_cast<int>(b.size()), eps), 0);
  return a;
}

TEST(Tphsolve, RandomSystemsSolvedAndMultipliedBack) {
  std::mt19937 gen(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n : {2, 3, 4, 5, 8, 13, 32}) {
    const System s = random_system(n, gen);
    std::vector<double> a_true(n);
    for (double& v : a_true) v = u(gen);
    const std::vector<double> b = multiply(s, a_true);
    const std::vector<double> a = solve(s, b);
    const std::vector<double> back = multiply(s, a);
    for (int i = 0; i < n; i++) {
      EXPECT_NEAR(back[i], b[i], 1e-10) << "n=" << n << " i=" << i;
      EXPECT_NEAR(a[i], a_true[i], 1e-10) << "n=" << n << " i=" << i;
    }
  }
}

TEST(Tphsolve, ZeroHankelPartSolvesTheToeplitzSystem) {
  // T = tridiag(1, 4, 1) with a = (1, 2, 3, 4): b = T·a worked out by hand.
  const System s{{4.0, 1.0, 0.0, 0.0}, std::vector<double>(7, 0.0)};
  const std::vector<double> b = {6.0, 12.0, 18.0, 19.0};
  const std::vector<double> a = solve(s, b);
  const double expected[4] = {1.0, 2.0, 3.0, 4.0};
  for (int i = 0; i < 4; i++) EXPECT_NEAR(a[i], expected[i], 1e-12);
}

TEST(Tphsolve, SingleUnknown) {
  const System s{{3.0}, {0.5}};
  const std::vector<double> a = solve(s, {7.0});
  EXPECT_NEAR(a[0], 7.0 / 3.5, 1e-15);
}

// Even with eps = 0 a zero determinant is a failure, not a division by zero.
TEST(Tphsolve, SingularPivotFailsAndLeavesTheResultUntouched) {
  const System s{{1.0}, {1.0}};  // start block (1 1 / 1 1) has determinant 0
  double a = 42.0;
  const double b = 1.0;
  testing::internal::CaptureStderr();
  EXPECT_EQ(tphsolve(s.t.data(), s.h.data(), &a, &b, 1, 0.0), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // the caller reports
  EXPECT_EQ(a, 42.0);
}

TEST(Tphsolve, SingularLaterPivotFails) {
  // T all ones is singular though its start block (1 0 / 0 1) is not.
  const System ones{{1.0, 1.0, 1.0}, {0.0, 0.0, 0.0, 0.0, 0.0}};
  std::vector<double> a(3, 9.0);
  const std::vector<double> b = {1.0, 2.0, 3.0};
  EXPECT_EQ(tphsolve(ones.t.data(), ones.h.data(), a.data(), b.data(), 3, 1e-9), -1);
  EXPECT_EQ(a, std::vector<double>(3, 9.0));
}

TEST(Tphsolve, NegativeEpsMeansOneMillionth) {
  // n = 1: the start block's determinant is t0² − h0² = 5e-7.
  const System s{{1.0}, {std::sqrt(1.0 - 5e-7)}};
  double a = 0.0;
  const double b = 1.0;
  EXPECT_EQ(tphsolve(s.t.data(), s.h.data(), &a, &b, 1, -1.0), -1);
  EXPECT_EQ(tphsolve(s.t.data(), s.h.data(), &a, &b, 1, 1e-7), 0);
  EXPECT_NEAR(a, 1.0 / (s.t[0] + s.h[0]), 1e-9);
}

TEST(Tphsolve, CallsOfDifferentSizesAreIndependent) {
  std::mt19937 gen(5);
  const System big = random_system(9, gen);
  const System small = random_system(4, gen);
  const std::vector<double> bbig = {1, -2, 3, -4, 5, -6, 7, -8, 9};
  const std::vector<double> bsmall = {0.5, 0.25, -1.0, 2.0};
  const std::vector<double> first = solve(big, bbig);
  const std::vector<double> mid = solve(small, bsmall);
  const std::vector<double> again = solve(big, bbig);
  EXPECT_EQ(first, again);
  const std::vector<double> back = multiply(small, mid);
  for (int i = 0; i < 4; i++) EXPECT_NEAR(back[i], bsmall[i], 1e-12);
  const System larger = random_system(20, gen);
  const std::vector<double> blarger(20, 1.0);
  const std::vector<double> back20 = multiply(larger, solve(larger, blarger));
  for (int i = 0; i < 20; i++) EXPECT_NEAR(back20[i], 1.0, 1e-10);
}

// The work arrays belong to the call: threads solving different systems side by side get
// exactly the serial solutions.
TEST(Tphsolve, ThreadsGiveTheSerialSolutions) {
  std::mt19937 gen(11);
  const System s1 = random_system(60, gen), s2 = random_system(45, gen);
  const std::vector<double> b1(60, 1.0), b2(45, -0.5);
  const std::vector<double> a1 = solve(s1, b1), a2 = solve(s2, b2);
  std::vector<double> t1, t2;
  std::thread one([&] {
    for (int k = 0; k < 300; k++) {
      t1 = solve(s1, b1);
      if (t1 != a1) break;
    }
  });
  std::thread two([&] {
    for (int k = 0; k < 300; k++) {
      t2 = solve(s2, b2);
      if (t2 != a2) break;
    }
  });
  one.join();
  two.join();
  EXPECT_EQ(t1, a1);
  EXPECT_EQ(t2, a2);
}

// Under a 256 MB address-space limit the work arrays of 40 million blocks cannot be had: the
// solver says so and returns -1 instead of ending the process, and solves again afterwards.
TEST(Tphsolve, ShortMemoryIsReportedToTheCaller) {
  const pid_t child = fork();
  if (child == 0) {
    const struct rlimit limit = {256u << 20, 256u << 20};
    setrlimit(RLIMIT_AS, &limit);
    const double t[2] = {2.0, 0.5}, h[3] = {0.0, 0.0, 0.0}, b[2] = {1.0, 1.0};
    double a[2] = {7.0, 7.0};
    const int refused = tphsolve(t, h, a, b, 40000000, 1e-6);  // t and h are not read
    const bool untouched = a[0] == 7.0 && a[1] == 7.0;
    const int solved = tphsolve(t, h, a, b, 2, 1e-6);
    _exit(refused == -1 && untouched && solved == 0 && std::fabs(a[0] - 0.4) < 1e-12 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Tphsolve, NoUnknownsIsRefused) {
  const double t = 1.0, h = 0.0, b = 1.0;
  double a = 3.0;
  EXPECT_EQ(tphsolve(&t, &h, &a, &b, 0, 1e-6), -1);
  EXPECT_EQ(a, 3.0);
}

}  // namespace
