// Expectations on a finished run of a program, for the program tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "childprocess.h"

// The run ended with `status` after writing exactly `err` on standard error and nothing on
// standard output, as a help text or a refused command line does.
inline void expect_message_only(const RunResult& r, int status, const std::string& err) {
  EXPECT_EQ(r.status, status);
  EXPECT_EQ(r.err, err);
  EXPECT_EQ(r.out, "");
}
