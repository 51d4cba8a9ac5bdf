#include "paramread.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velk {

namespace {

const char readmark = ' ';

bool isdecimal(char c) {
  return c >= '0' && c <= '9';
}

char asciilower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Reads the decimal number at p (no sign), saturating at UINT64_MAX / 10 so that an absurdly
// long digit run cannot overflow; *after receives the first character past the digits.
uint64_t readdecimal(const char* p, const char** after) {
  const uint64_t cap = UINT64_MAX / 10;
  uint64_t value = 0;
  for (; isdecimal(*p); ++p) value = value >= cap ? cap : value * 10 + static_cast<uint64_t>(*p - '0');
  if (after) *after = p;
  return value;
}

uint32_t toindex(uint64_t value) {
  return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

// A decimal integer that makes up the whole text and fits an int: an optional sign and digits
// ("80", "-3", "+7"). "80ms", "4.5", "1e3", " 80" and values beyond the int range are refused
// rather than read as their leading digits.
bool parseint(const char* text, int* value) {
  const char* digits = (text[0] == '-' || text[0] == '+') ? text + 1 : text;
  if (!isdecimal(digits[0])) return false;
  char* end = nullptr;
  errno = 0;
  const long v = strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  *value = static_cast<int>(v);
  return true;
}

// A real number in the C library's notation that makes up the whole text ("0.5", ".5", "1e-3",
// "nan", "inf"); a text with blanks around it or any other rest ("8x0", "0.5 "), and a finite
// text whose value lies beyond the double range ("1e400"), are refused.
bool parsedouble(const char* text, double* value) {
  if (isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  const double v = strtod(text, &end);
  if (end == text || *end != '\0' || (errno == ERANGE && std::isinf(v))) return false;
  *value = v;
  return true;
}

// End of the interval part of an index list: the '(' of the digit count or the terminator.
const char* intervalsend(const char* list) {
  const char* paren = strchr(list, '(');
  return paren ? paren : list + strlen(list);
}

}  // namespace

int isparam(const char* arg) {
  return (arg && arg[0] == '-' && arg[1] == '-') ? 1 : 0;
}

char* paramnamematch(char* arg, const char* name) {
  if (!isparam(arg) || !name) return nullptr;
  char* namestart = arg + 2;
  char* equals = strchr(namestart, '=');
  if (!equals || equals == namestart || equals[1] == '\0') return nullptr;
  const size_t length = static_cast<size_t>(equals - namestart);
  if (strlen(name) != length) return nullptr;
  for (size_t i = 0; i < length; ++i)
    if (asciilower(namestart[i]) != asciilower(name[i])) return nullptr;
  return equals + 1;
}

int markparamasread(char* arg) {
  arg[0] = readmark;
  return 0;
}

int paramalreadyread(const char* arg) {
  return arg[0] == readmark ? 1 : 0;
}

int getintparam(char* arg, const char* name, int* value) {
  const char* text = paramnamematch(arg, name);
  if (!text || !parseint(text, value)) return -1;
  markparamasread(arg);
  return 0;
}

int getdoubleparam(char* arg, const char* name, double* value) {
  const char* text = paramnamematch(arg, name);
  if (!text || !parsedouble(text, value)) return -1;
  markparamasread(arg);
  return 0;
}

char* getstringparam(char* arg, const char* name) {
  char* text = paramnamematch(arg, name);
  if (text) markparamasread(arg);
  return text;
}

int searchintparam(int count, char** args, const char* name, int* value) {
  for (int i = 0; i < count; ++i)
    if (getintparam(args[i], name, value) == 0) return 0;
  return -1;
}

int searchdoubleparam(int count, char** args, const char* name, double* value) {
  for (int i = 0; i < count; ++i)
    if (getdoubleparam(args[i], name, value) == 0) return 0;
  return -1;
}

char* searchstringparam(int count, char** args, const char* name) {
  for (int i = 0; i < count; ++i) {
    char* text = getstringparam(args[i], name);
    if (text) return text;
  }
  return nullptr;
}

int unreadparams(int count, char** args) {
  for (int i = 0; i < count; ++i)
    if (!paramalreadyread(args[i])) return 1;
  return 0;
}

// The rule of the option named by the `length` characters at name (letter case ignored), or null.
static const optionrule* findrule(const char* name, size_t length, const optionrule* rules,
                                  size_t rulecount) {
  for (size_t r = 0; r < rulecount; ++r) {
    if (strlen(rules[r].name) != length) continue;
    size_t i = 0;
    while (i < length && asciilower(name[i]) == asciilower(rules[r].name[i])) ++i;
    if (i == length) return &rules[r];
  }
  return nullptr;
}

// What the value text breaks of its option's rule, or null when it keeps it.
static const char* valueproblem(const char* text, const optionrule& rule, char* bound, size_t size) {
  if (rule.kind == 's') return nullptr;
  int integer = 0;
  double value = 0.0;
  if (rule.kind == 'i' && !parseint(text, &integer)) {
    const char* digits = (text[0] == '-' || text[0] == '+') ? text + 1 : text;
    const bool alldigits = digits[0] != '\0' && strspn(digits, "0123456789") == strlen(digits);
    return alldigits ? "beyond the 32-bit integer range" : "not an integer";
  }
  if (rule.kind == 'r' && !parsedouble(text, &value)) return "not a number";
  if (rule.kind == 'i') value = integer;
  const bool bounded = std::isfinite(rule.lowest) || std::isfinite(rule.highest);
  if (bounded && std::isnan(value)) return "not a number";
  if (rule.open ? value <= rule.lowest : value < rule.lowest) {
    snprintf(bound, size, rule.open ? "not above %g" : "below %g", rule.lowest);
    return bound;
  }
  if (rule.open ? value >= rule.highest : value > rule.highest) {
    snprintf(bound, size, rule.open ? "not below %g" : "above %g", rule.highest);
    return bound;
  }
  return nullptr;
}

int optionproblem(int count, char* const* args, int firstoption, const optionrule* rules, size_t rulecount,
                  char* problem, size_t size) {
  for (int i = 1; i < firstoption && i < count; ++i) {
    const char* arg = args[i];
    const char* equals = strchr(arg, '=');
    if (arg[0] == '-' && arg[1] != '-' && equals &&
        findrule(arg + 1, static_cast<size_t>(equals - arg - 1), rules, rulecount)) {
      snprintf(problem, size, "%s: a file name that looks like the option -%s (options start with --)", arg,
               arg);
      return 0;
    }
  }
  for (int i = firstoption; i < count; ++i) {
    const char* arg = args[i];
    const char* equals = strchr(arg, '=');
    if (!isparam(arg) || !equals || equals == arg + 2) {
      snprintf(problem, size, "%s: not an option of the form --name=value (options follow the file names)",
               arg);
      return 0;
    }
    const size_t length = static_cast<size_t>(equals - arg - 2);
    const optionrule* rule = findrule(arg + 2, length, rules, rulecount);
    if (!rule) {
      snprintf(problem, size, "%s: unknown option", arg);
      return 0;
    }
    for (int j = firstoption; j < i; ++j) {
      if (strncmp(args[j], "--", 2) == 0 &&
          strchr(args[j], '=') - args[j] - 2 == static_cast<ptrdiff_t>(length) &&
          findrule(args[j] + 2, length, rule, 1)) {
        snprintf(problem, size, "%s: --%s given twice", arg, rule->name);
        return 0;
      }
    }
    char bound[64];
    const char* broken =
        equals[1] == '\0' ? "no value" : valueproblem(equals + 1, *rule, bound, sizeof bound);
    if (broken) {
      snprintf(problem, size, "%s: %s", arg, broken);
      return 0;
    }
  }
  return -1;
}

int paramregionstart(int count, char* const* args) {
  for (int i = 0; i < count; ++i)
    if (isparam(args[i])) return i;
  return count;
}

int strnumdiagnose(const char* list) {
  if (!list || !isdecimal(list[0])) return -1;
  const char* end = list;
  for (; *end && *end != '('; ++end) {
    if (isdecimal(*end)) continue;
    if ((*end == ',' || *end == '-') && isdecimal(end[-1])) continue;
    return -1;
  }
  if (!isdecimal(end[-1])) return -1;

  uint64_t maxdigits = 0;
  if (*end == '(') {
    const char* p = end + 1;
    if (!isdecimal(*p)) return -1;
    maxdigits = readdecimal(p, &p);
    if (*p != ')') return -1;
  }

  // Every number, interval ends included, must fit an int and exceed the one before it.
  int64_t previous = -1;
  for (const char* p = list; p < end;) {
    const uint64_t value = readdecimal(p, &p);
    if (value > static_cast<uint64_t>(INT_MAX) || static_cast<int64_t>(value) <= previous) return -1;
    if (maxdigits != 0 && getdigits(static_cast<uint32_t>(value)) > maxdigits) return -1;
    previous = static_cast<int64_t>(value);
    if (p < end) ++p;  // the ',' or '-' after the number
  }
  return 0;
}

uint32_t strnumintervstart(const char* interval) {
  return toindex(readdecimal(interval, nullptr));
}

uint32_t strnumintervend(const char* interval, uint32_t start) {
  for (const char* p = interval; *p && *p != ',' && *p != '('; ++p)
    if (*p == '-') return toindex(readdecimal(p + 1, nullptr));
  return start;
}

const char* strnumnextinterv(const char* interval) {
  for (const char* p = interval; *p && *p != '('; ++p)
    if (*p == ',') return p + 1;
  return nullptr;
}

uint32_t strnum2numarray(const char* list, uint32_t** indices) {
  *indices = nullptr;
  uint64_t total = 0;
  for (const char* p = list; p; p = strnumnextinterv(p)) {
    const uint32_t start = strnumintervstart(p);
    const uint32_t end = strnumintervend(p, start);
    if (end >= start) total += static_cast<uint64_t>(end) - start + 1;
  }
  if (total == 0 || total > UINT32_MAX) return 0;
  uint32_t* out = static_cast<uint32_t*>(malloc(total * sizeof(uint32_t)));
  if (!out) return 0;
  uint32_t count = 0;
  for (const char* p = list; p; p = strnumnextinterv(p)) {
    const uint32_t start = strnumintervstart(p);
    const uint32_t end = strnumintervend(p, start);
    for (uint64_t index = start; index <= end; ++index) out[count++] = static_cast<uint32_t>(index);
  }
  *indices = out;
  return count;
}

int strnumnextindex(const char* list, const char** interval, uint32_t* index) {
  if (*interval) {
    if (*index < strnumintervend(*interval, strnumintervstart(*interval))) {
      ++*index;
      return 0;
    }
    *interval = strnumnextinterv(*interval);
  } else {
    *interval = list;
  }
  // The first interval from here that names any index (one written backwards names none).
  for (; *interval; *interval = strnumnextinterv(*interval)) {
    const uint32_t start = strnumintervstart(*interval);
    if (strnumintervend(*interval, start) >= start) {
      *index = start;
      return 0;
    }
  }
  return -1;
}

uint32_t strnumdigits(const char* list) {
  const size_t length = strlen(list);
  if (length < 4 || list[length - 1] != ')') return 0;
  for (size_t i = length - 1; i-- > 0;)
    if (list[i] == '(' && isdecimal(list[i + 1])) return toindex(readdecimal(list + i + 1, nullptr));
  return 0;
}

uint32_t strnumdefaultdigits(const char* list) {
  const char* end = intervalsend(list);
  const char* start = end;
  while (start > list && isdecimal(start[-1])) --start;
  if (start == end) return 0;
  return getdigits(toindex(readdecimal(start, nullptr)));
}

uint32_t getdigits(uint32_t value) {
  uint32_t digits = 1;
  for (uint64_t bound = 10; value >= bound; bound *= 10) ++digits;
  return digits;
}

const char* getfilename(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') name = p + 1;
  return name;
}

char* getfilename(char* path) {
  return const_cast<char*>(getfilename(static_cast<const char*>(path)));
}

const char* getfileextension(const char* path) {
  return strrchr(getfilename(path), '.');
}

char* getfileextension(char* path) {
  return const_cast<char*>(getfileextension(static_cast<const char*>(path)));
}

const char* getfileindex(const char* path) {
  return strpbrk(getfilename(path), "?0123456789");
}

char* getfileindex(char* path) {
  return const_cast<char*>(getfileindex(static_cast<const char*>(path)));
}

int replacefileindex(char* path, uint32_t index) {
  char* placeholder = getfileindex(path);
  if (!placeholder) return -1;
  const size_t width = strspn(placeholder, "?0123456789");
  const uint32_t digits = getdigits(index);
  if (digits > width) return -1;
  // Right-aligned and zero-padded; the character after the run is left as it is.
  uint32_t rest = index;
  for (size_t i = width; i-- > 0;) {
    placeholder[i] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  }
  return 0;
}

int replacefileextension(char* path, const char* extension) {
  if (!extension) return -1;
  char* dot = getfileextension(path);
  char* at = dot ? dot : path + strlen(path);
  memmove(at, extension, strlen(extension) + 1);
  return 0;
}

int replacefilename(char* path, const char* name) {
  if (!name) return -1;
  memmove(getfilename(path), name, strlen(name) + 1);
  return 0;
}

// Position of the placeholder replacesetindex writes into: from the first '?' of the file-name
// part when there is one, else the first '?' or digit; null when there is none.
static const char* setplaceholder(const char* name) {
  const char* mark = strchr(getfilename(name), '?');
  return getfileindex(mark ? mark : name);
}

int strnumcheckset(const char* list, uint32_t count, const char* const* templates, uint32_t* unfit,
                   uint32_t* index) {
  // The intervals increase, so the last one's end is the largest index.
  *index = 0;
  for (const char* p = list; p; p = strnumnextinterv(p)) *index = strnumintervend(p, strnumintervstart(p));
  for (*unfit = 0; *unfit < count; ++*unfit) {
    if (!templates[*unfit]) continue;
    const char* placeholder = setplaceholder(templates[*unfit]);
    if (!placeholder) return 1;
    if (strspn(placeholder, "?0123456789") < getdigits(*index)) return 2;
  }
  return 0;
}

int strnumfitsnames(const char* list, uint32_t count, const char* const* templates, char* problem,
                    size_t size) {
  uint32_t unfit = 0, index = 0;
  const int fit = strnumcheckset(list, count, templates, &unfit, &index);
  if (fit == 1) snprintf(problem, size, "%s has no index placeholder", templates[unfit]);
  if (fit == 2) snprintf(problem, size, "index %u does not fit the name %s", index, templates[unfit]);
  return fit == 0 ? 0 : -1;
}

int replacesetindex(uint32_t count, const char* const* templates, uint32_t index, char* const* names,
                    uint32_t* unfit) {
  for (uint32_t k = 0; k < count; ++k) {
    if (!templates[k]) continue;
    strcpy(names[k], templates[k]);
    char* placeholder = const_cast<char*>(setplaceholder(names[k]));
    if (!placeholder || replacefileindex(placeholder, index) != 0) {
      if (unfit) *unfit = k;
      return -1;
    }
  }
  return 0;
}

int strnumforeachset(const char* list, uint32_t count, const char* const* templates, filesetvisitor visit,
                     void* context) {
  // One block: the name pointers, then a copy of every template, into which each index is written.
  size_t room = count * sizeof(char*);
  for (uint32_t k = 0; k < count; ++k)
    if (templates[k]) room += strlen(templates[k]) + 1;
  char** names = static_cast<char**>(malloc(room));
  if (!names) return -1;
  char* text = reinterpret_cast<char*>(names + count);
  for (uint32_t k = 0; k < count; ++k) {
    names[k] = templates[k] ? strcpy(text, templates[k]) : nullptr;
    if (templates[k]) text += strlen(templates[k]) + 1;
  }
  const char* interval = nullptr;
  for (uint32_t index = 0; strnumnextindex(list, &interval, &index) == 0;) {
    uint32_t unfit = count;
    replacesetindex(count, templates, index, names, &unfit);
    visit(names, index, unfit, context);
  }
  free(names);
  return 0;
}

char* createemptystrlist(char* old) {
  free(old);
  char* list = static_cast<char*>(malloc(3));
  if (list) memcpy(list, "{}", 3);
  return list;
}

char* appendstrtolist(char* list, const char* word) {
  const size_t wordlength = strlen(word);
  if (!list || strcmp(list, "{}") == 0) {
    char* grown = static_cast<char*>(realloc(list, wordlength + 3));
    if (!grown) free(list);
    if (grown) snprintf(grown, wordlength + 3, "{%s}", word);
    return grown;
  }
  const size_t length = strlen(list);  // the new text replaces the final '}' by ",word}"
  char* grown = static_cast<char*>(realloc(list, length + wordlength + 2));
  if (!grown) free(list);
  if (grown) snprintf(grown + length - 1, wordlength + 3, ",%s}", word);
  return grown;
}

int isinstrlist(const char* list, const char* word) {
  const size_t wordlength = strlen(word);
  if (!list || wordlength == 0) return 0;
  for (const char* hit = strstr(list, word); hit; hit = strstr(hit + 1, word)) {
    const bool openbefore = hit > list && (hit[-1] == ',' || hit[-1] == '{');
    const char after = hit[wordlength];
    if (openbefore && (after == ',' || after == '}')) return 1;
  }
  return 0;
}

int destroystrlist(char* list) {
  free(list);
  return 0;
}

uint32_t getnelemsinnumlist(const char* list) {
  if (!list || list[0] != '{') return 0;
  uint32_t count = 0;
  for (const char* p = list + 1;;) {
    if (!isdecimal(*p)) return 0;
    while (isdecimal(*p)) ++p;
    if (*p == '.') {
      ++p;
      if (!isdecimal(*p)) return 0;
      while (isdecimal(*p)) ++p;
    }
    ++count;
    if (*p == '}') return count;
    if (*p != ',' && *p != ';') return 0;
    ++p;
  }
}

int getelemsinnumlist(const char* list, uint32_t count, double* values) {
  const char* p = list;
  for (uint32_t i = 0; i < count; ++i) {
    while (*p && !isdecimal(*p)) ++p;
    if (!*p) return -1;  // fewer numbers than asked for
    values[i] = strtod(p, nullptr);
    while (isdecimal(*p) || *p == '.') ++p;
  }
  return 0;
}

}  // namespace velk
