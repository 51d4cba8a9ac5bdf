// Index lists, file-name indices, options and word and number lists, from the words of one
// input: the first word is an index list (and a number list), the second a file name, the
// others command-line arguments.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzzcheck.h"
#include "paramread.h"

using namespace velk;

namespace {

const char* const kTarget = "paramread";

// Index lists expanded into arrays up to this many entries (longer ones are only walked).
const uint64_t kExpandLimit = 1 << 16;

bool digit(char c) {
  return c >= '0' && c <= '9';
}

// Value of a digit string, saturated well above every limit that matters here.
uint64_t number(const std::string& digits) {
  uint64_t v = 0;
  for (char c : digits) v = v > (uint64_t{1} << 40) ? v : v * 10 + static_cast<uint64_t>(c - '0');
  return v;
}

uint64_t decimal_digits(uint64_t v) {
  return v < 10 ? 1 : 1 + decimal_digits(v / 10);
}

// The index-list grammar read as tokens: numbers separated by ',' or '-', optionally followed
// by "(D)". Returns the numbers and D (0 when absent), or false when the text is malformed.
bool reference_diagnose(const std::string& list, std::vector<uint64_t>* numbers, uint64_t* maxdigits) {
  const size_t paren = list.find('(');
  const std::string intervals = list.substr(0, paren);
  *maxdigits = 0;
  if (intervals.empty()) return false;
  std::string token;
  for (char c : intervals + ",") {
    if (digit(c)) {
      token += c;
    } else if ((c == ',' || c == '-') && !token.empty()) {
      numbers->push_back(number(token));
      token.clear();
    } else {
      return false;
    }
  }
  if (paren != std::string::npos) {
    const size_t close = list.find_first_not_of("0123456789", paren + 1);
    if (close == paren + 1 || close == std::string::npos || list[close] != ')') return false;
    *maxdigits = number(list.substr(paren + 1, close - paren - 1));
  }
  for (size_t i = 0; i < numbers->size(); ++i) {
    const uint64_t v = (*numbers)[i];
    if (v > INT_MAX || (i > 0 && v <= (*numbers)[i - 1])) return false;
    if (*maxdigits != 0 && decimal_digits(v) > *maxdigits) return false;
  }
  return true;
}

// Walks a diagnosed list as the programs do and compares the walk with the expansion.
void check_index_list(const char* list, const std::vector<uint64_t>& numbers, uint64_t maxdigits) {
  std::vector<uint32_t> walked;
  uint64_t total = 0, previous = 0;
  for (const char* p = list; p != nullptr; p = strnumnextinterv(p)) {
    const uint32_t start = strnumintervstart(p), end = strnumintervend(p, start);
    fuzz_check(start <= end, kTarget, "an accepted interval runs backwards");
    fuzz_check(total == 0 || start > previous, kTarget, "accepted intervals do not increase");
    fuzz_check(maxdigits == 0 || decimal_digits(end) <= maxdigits, kTarget,
               "an index exceeds the digit count");
    total += uint64_t{end} - start + 1;
    previous = end;
    for (uint64_t i = start; i <= end && walked.size() < kExpandLimit; ++i)
      walked.push_back(static_cast<uint32_t>(i));
  }
  fuzz_check(previous <= numbers.back(), kTarget, "the walk passes the last number of the list");
  fuzz_check(strnumdefaultdigits(list) == decimal_digits(numbers.back()), kTarget,
             "default digit count is not that of the last number");
  if (total > kExpandLimit) return;
  std::vector<uint32_t> stepped;
  const char* interval = nullptr;
  for (uint32_t index = 0; strnumnextindex(list, &interval, &index) == 0;) stepped.push_back(index);
  fuzz_check(stepped == walked, kTarget, "the index walk differs from the interval walk");
  uint32_t* indices = nullptr;
  const uint32_t n = strnum2numarray(list, &indices);
  fuzz_check(n == total && std::memcmp(indices, walked.data(), n * sizeof(uint32_t)) == 0, kTarget,
             "expansion differs from the interval walk");
  std::free(indices);
}

// Writes an index into a copy of the name and checks the placeholder run and nothing else.
void check_replacefileindex(const std::string& name, uint32_t index) {
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  const int result = replacefileindex(buffer.data(), index);
  const std::string after(buffer.data());

  const size_t part = name.find_last_of("/\\") == std::string::npos ? 0 : name.find_last_of("/\\") + 1;
  const size_t at = name.find_first_of("?0123456789", part);
  const std::string digits = std::to_string(index);
  if (at == std::string::npos) {
    fuzz_check(result == -1 && after == name, kTarget, "a name without a placeholder changed");
    return;
  }
  const size_t stop = name.find_first_not_of("?0123456789", at);
  const size_t width = (stop == std::string::npos ? name.size() : stop) - at;
  if (digits.size() > width) {
    fuzz_check(result == -1 && after == name, kTarget, "a name with too short a placeholder changed");
    return;
  }
  std::string expected = name;
  expected.replace(at, width, std::string(width - digits.size(), '0') + digits);
  fuzz_check(result == 0 && after == expected, kTarget, "index not written right-aligned into the run");
}

// What a visit of strnumforeachset saw, to compare with the list's walk.
struct SetVisits {
  const std::vector<std::string>* templates;
  std::vector<uint32_t> indices;
};

// A name written from its template keeps its length and changes only '?' and digits to digits.
bool written_from(const std::string& name, const std::string& tmpl) {
  if (name.size() != tmpl.size()) return false;
  for (size_t i = 0; i < name.size(); ++i)
    if (name[i] != tmpl[i] && !((tmpl[i] == '?' || digit(tmpl[i])) && digit(name[i]))) return false;
  return true;
}

void record_set(char* const* names, uint32_t index, uint32_t unfit, void* context) {
  SetVisits* v = static_cast<SetVisits*>(context);
  v->indices.push_back(index);
  const uint32_t count = static_cast<uint32_t>(v->templates->size());
  fuzz_check(unfit <= count, kTarget, "a set's unfit position is beyond its names");
  for (uint32_t k = 0; k < count && k <= unfit; ++k) {
    const std::string& tmpl = (*v->templates)[k];
    const bool fits = k < unfit;
    fuzz_check(fits ? written_from(names[k], tmpl) : tmpl == names[k], kTarget,
               fits ? "a set name is not its template with an index" : "an unfit name is not its template");
  }
}

// Every set of a walkable list is visited once, in the list's order.
void check_sets(const char* list, const std::vector<std::string>& templates) {
  std::vector<const char*> pointers;
  for (const std::string& t : templates) pointers.push_back(t.c_str());
  SetVisits visits{&templates, {}};
  const int result =
      strnumforeachset(list, static_cast<uint32_t>(pointers.size()), pointers.data(), record_set, &visits);
  std::vector<uint32_t> walked;
  const char* interval = nullptr;
  for (uint32_t index = 0; strnumnextindex(list, &interval, &index) == 0;) walked.push_back(index);
  fuzz_check(result == 0 && visits.indices == walked, kTarget, "the sets visited differ from the index walk");
}

bool names_match(const char* arg, const char* name) {
  const char* equals = std::strchr(arg + 2, '=');
  const size_t length = std::strlen(name);
  if (equals == nullptr || static_cast<size_t>(equals - arg - 2) != length || equals[1] == '\0') return false;
  for (size_t i = 0; i < length; ++i)
    if (std::tolower(static_cast<unsigned char>(arg[2 + i])) != name[i]) return false;
  return true;
}

// Whether a value text is one whole value of the kind (0 integer, 1 real, 2 text), read
// independently of the parser: an integer is a sign and digits within the int range; a real is
// what strtod consumes entirely, without blanks before it and not beyond the double range.
bool whole_value(const std::string& text, int kind, long long* ivalue, double* dvalue) {
  if (kind == 2) return true;
  if (kind == 0) {
    const size_t first = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (first == text.size() || text.find_first_not_of("0123456789", first) != std::string::npos)
      return false;
    const uint64_t magnitude = number(text.substr(first));
    *ivalue = text[0] == '-' ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    return *ivalue >= INT_MIN && *ivalue <= INT_MAX;
  }
  if (std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  *dvalue = std::strtod(text.c_str(), &end);
  return *end == '\0' && end != text.c_str() && !(errno == ERANGE && std::isinf(*dvalue));
}

// Looks up one option and checks that exactly the first argument that holds it with a whole
// value was marked, with that value, and that nothing else changed.
void check_search(std::vector<std::vector<char>>* args, const char* name, int kind) {
  std::vector<char*> argv;
  std::vector<std::string> before;
  for (auto& a : *args) {
    argv.push_back(a.data());
    before.emplace_back(a.data());
  }
  const int count = static_cast<int>(argv.size());
  int expected = -1;
  long long iref = 0;
  double dref = 0;
  for (int i = 0; i < count && expected == -1; ++i)
    if (before[i].compare(0, 2, "--") == 0 && names_match(before[i].c_str(), name) &&
        whole_value(before[i].substr(before[i].find('=') + 1), kind, &iref, &dref))
      expected = i;
  int ivalue = 0;
  double dvalue = 0;
  bool found;
  if (kind == 0)
    found = searchintparam(count, argv.data(), name, &ivalue) == 0;
  else if (kind == 1)
    found = searchdoubleparam(count, argv.data(), name, &dvalue) == 0;
  else
    found = searchstringparam(count, argv.data(), name) != nullptr;

  int marked = -1;
  for (int i = 0; i < count; ++i) {
    const std::string now(argv[i]);
    if (now == before[i]) continue;
    fuzz_check(marked == -1, kTarget, "a lookup changed two arguments");
    fuzz_check(now.size() == before[i].size() && now[0] == ' ' && now.substr(1) == before[i].substr(1),
               kTarget, "a lookup changed more than the first character");
    marked = i;
  }
  fuzz_check(found == (marked != -1), kTarget, "a lookup's result disagrees with the marking");
  fuzz_check(marked == expected, kTarget,
             "a lookup did not consume the first argument of the name holding a whole value");
  if (marked == -1 || marked != expected) return;
  if (kind == 0) fuzz_check(ivalue == iref, kTarget, "integer value misread");
  if (kind == 1)
    fuzz_check(dvalue == dref || (dvalue != dvalue && dref != dref), kTarget, "real value misread");
}

void check_options(const std::vector<std::string>& words) {
  std::vector<std::vector<char>> args;
  for (const std::string& w : words) {
    args.emplace_back(w.begin(), w.end());
    args.back().push_back('\0');
  }
  const char* const names[] = {"lframe", "alpha", "indlist", "fdur"};
  for (int kind = 0; kind < 3; ++kind)
    for (const char* name : names) check_search(&args, name, kind);

  std::vector<char*> argv;
  bool all_read = true;
  for (auto& a : args) {
    argv.push_back(a.data());
    all_read = all_read && a[0] == ' ';
  }
  fuzz_check(unreadparams(static_cast<int>(argv.size()), argv.data()) == (all_read ? 0 : 1), kTarget,
             "unreadparams misses an unread argument");
}

void check_lists(const std::string& text, const std::vector<std::string>& words) {
  const uint32_t n = getnelemsinnumlist(text.c_str());
  if (n != 0) {
    std::vector<double> values(n, -1.0);
    fuzz_check(getelemsinnumlist(text.c_str(), n, values.data()) == 0, kTarget,
               "a well-formed number list has fewer numbers than counted");
    for (double v : values)
      fuzz_check(v >= 0.0, kTarget, "a number list without signs gave a negative value");
  }
  char* list = createemptystrlist(nullptr);
  for (const std::string& w : words) {
    if (w.empty() || w.find_first_of(",{}") != std::string::npos) continue;
    list = appendstrtolist(list, w.c_str());
    fuzz_check(list != nullptr && isinstrlist(list, w.c_str()) == 1, kTarget,
               "an appended word is not in the list");
    if (list == nullptr) return;
  }
  destroystrlist(list);
}

}  // namespace

int fuzz_paramread(const uint8_t* data, size_t size) {
  size_t count = 0;
  const std::string text = words_of(data, size, &count);
  std::vector<std::string> words;
  for (const char* p = text.c_str(); words.size() < count; p += std::strlen(p) + 1) words.emplace_back(p);
  const std::string list = count > 0 ? words[0] : std::string();

  std::vector<uint64_t> numbers;
  uint64_t maxdigits = 0;
  const bool valid = reference_diagnose(list, &numbers, &maxdigits);
  fuzz_check((strnumdiagnose(list.c_str()) == 0) == valid, kTarget,
             "index-list diagnosis differs from the grammar");
  if (valid) check_index_list(list.c_str(), numbers, maxdigits);
  // Sets of a short list, named from up to three templates.
  if (valid && numbers.back() - numbers.front() < kExpandLimit && count > 1)
    check_sets(list.c_str(),
               std::vector<std::string>(words.begin() + 1, words.begin() + std::min<size_t>(count, 4)));
  (void)strnumdigits(list.c_str());

  if (count > 1) {
    const uint32_t index = numbers.empty() ? static_cast<uint32_t>(size) : static_cast<uint32_t>(numbers[0]);
    check_replacefileindex(words[1], index);
  }
  if (count > 2) check_options(std::vector<std::string>(words.begin() + 2, words.end()));
  check_lists(list, words);
  return 0;
}
