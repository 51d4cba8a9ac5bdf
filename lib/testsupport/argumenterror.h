#pragma once
// The refusal of a command line by velkcoder and velkdecoder, as their tests check it.
#include <string>

// Whether `out` is exactly the refusal of a command line by `program`: "Error: incorrect input
// arguments.", a line naming the argument and the rule it broke, which starts with `named`
// (any line when `named` is empty), and "Type 'PROGRAM' for help.".
inline bool refusesargument(const std::string& out, const std::string& program,
                            const std::string& named = "") {
  const std::string head = "Error: incorrect input arguments.\n";
  const std::string tail = "\nType '" + program + "' for help.\n";
  if (out.size() < head.size() + tail.size() + 1 || out.compare(0, head.size(), head) != 0 ||
      out.compare(out.size() - tail.size(), tail.size(), tail) != 0)
    return false;
  const std::string middle = out.substr(head.size(), out.size() - head.size() - tail.size());
  return !middle.empty() && middle.find('\n') == std::string::npos &&
         middle.compare(0, named.size(), named) == 0;
}
