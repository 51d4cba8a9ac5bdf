#include "paramset.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "constants.h"

#ifndef VELK_VERSION
#define VELK_VERSION "unknown"
#endif

namespace velk {

namespace {

const char* const formatname = "velk parameter set";
// Deepest nesting of a record's values that the reader follows.
const int deepest = 16;
// Largest record file read: a record is a few hundred bytes.
const long largestrecord = 1 << 20;
const uint32_t highestorder = 1000;

// ---- writing ----

// A JSON string of the bytes of s: quotes, backslashes and control characters escaped, valid
// UTF-8 kept, and any other byte b as the lone surrogate U+DC00 + b (as Python keeps such bytes
// of file names), so that every name round-trips.
std::string quoted(const std::string& s) {
  std::string q = "\"";
  const auto* b = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  char escape[8];
  for (size_t k = 0; k < n;) {
    const unsigned char c = b[k];
    if (c == '"' || c == '\\') {
      q += '\\';
      q += static_cast<char>(c);
      ++k;
      continue;
    }
    if (c < 0x20 || c == 0x7f) {
      snprintf(escape, sizeof escape, "\\u%04x", c);
      q += escape;
      ++k;
      continue;
    }
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    for (size_t j = 1; j < length; ++j)
      if (k + j >= n || (b[k + j] >> 6) != 2) length = 0;
    if (length == 0) {
      snprintf(escape, sizeof escape, "\\u%04x", 0xdc00 + c);
      q += escape;
      ++k;
      continue;
    }
    q.append(s, k, length);
    k += length;
  }
  return q + "\"";
}

// ---- reading ----

struct jsonvalue {
  enum kind { string, number, boolean, null, object, array } type = null;
  std::string text;  // a string's bytes
  double value = 0;  // a number's value
  bool flag = false;
  std::vector<std::pair<std::string, jsonvalue>> members;  // an object's, in order
};

// A recursive-descent reader of one JSON text.
struct jsonreader {
  const std::string& text;
  size_t at = 0;
  std::string problem;

  bool fail(const char* what) {
    if (problem.empty()) problem = std::string(what) + " at byte " + std::to_string(at);
    return false;
  }
  void skipspace() {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r'))
      ++at;
  }
  bool literal(const char* word) {
    const size_t length = strlen(word);
    if (text.compare(at, length, word) != 0) return false;
    at += length;
    return true;
  }
  bool hex4(uint32_t* code) {
    if (at + 4 > text.size()) return fail("a cut \\u escape");
    *code = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = text[at++];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return fail("a bad \\u escape");
      *code = *code * 16 + static_cast<uint32_t>(digit);
    }
    return true;
  }
  static void appendutf8(uint32_t code, std::string* out) {
    if (code < 0x80) {
      *out += static_cast<char>(code);
    } else if (code < 0x800) {
      *out += static_cast<char>(0xc0 | (code >> 6));
      *out += static_cast<char>(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
      *out += static_cast<char>(0xe0 | (code >> 12));
      *out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
      *out += static_cast<char>(0x80 | (code & 0x3f));
    } else {
      *out += static_cast<char>(0xf0 | (code >> 18));
      *out += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
      *out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
      *out += static_cast<char>(0x80 | (code & 0x3f));
    }
  }
  // A \u escape: a surrogate pair becomes its character, a lone U+DC80..U+DCFF the byte it keeps.
  bool unicodeescape(std::string* out) {
    uint32_t code = 0;
    if (!hex4(&code)) return false;
    if (code >= 0xd800 && code < 0xdc00 && text.compare(at, 2, "\\u") == 0) {
      const size_t before = at;
      at += 2;
      uint32_t low = 0;
      if (!hex4(&low)) return false;
      if (low >= 0xdc00 && low < 0xe000) {
        appendutf8(0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00), out);
        return true;
      }
      at = before;
    }
    if (code >= 0xdc80 && code < 0xdd00)
      *out += static_cast<char>(code - 0xdc00);
    else
      appendutf8(code, out);
    return true;
  }
  bool string(std::string* out) {
    ++at;  // the opening quote
    while (at < text.size() && text[at] != '"') {
      const char c = text[at++];
      if (static_cast<unsigned char>(c) < 0x20) return fail("a control character in a string");
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (at == text.size()) break;
      const char e = text[at++];
      const char* const from = "\"\\/bfnrt";
      const char* const to = "\"\\/\b\f\n\r\t";
      const char* found = e != '\0' ? strchr(from, e) : nullptr;
      if (found)
        *out += to[found - from];
      else if (e != 'u' || !unicodeescape(out))
        return fail("a bad escape");
    }
    if (at == text.size()) return fail("an unterminated string");
    ++at;
    return true;
  }
  bool number(double* out) {
    const size_t start = at;
    if (at < text.size() && text[at] == '-') ++at;
    const size_t digits = at;
    while (at < text.size() && strchr("0123456789+-.eE", text[at]) && text[at] != '\0') ++at;
    if (at == digits || text[digits] < '0' || text[digits] > '9') return fail("a bad value");
    const std::string token = text.substr(start, at - start);
    char* end = nullptr;
    *out = strtod(token.c_str(), &end);
    if (end != token.c_str() + token.size() || !std::isfinite(*out)) return fail("a bad number");
    return true;
  }
  bool members(jsonvalue* v, char close, int depth) {
    ++at;  // the opening bracket
    skipspace();
    if (at < text.size() && text[at] == close) {
      ++at;
      return true;
    }
    for (;;) {
      skipspace();
      std::string key;
      if (close == '}') {
        if (at >= text.size() || text[at] != '"') return fail("a missing key");
        if (!string(&key)) return false;
        skipspace();
        if (at >= text.size() || text[at] != ':') return fail("a missing ':'");
        ++at;
      }
      jsonvalue member;
      if (!value(&member, depth + 1)) return false;
      v->members.emplace_back(std::move(key), std::move(member));
      skipspace();
      if (at < text.size() && text[at] == ',') {
        ++at;
        continue;
      }
      if (at < text.size() && text[at] == close) {
        ++at;
        return true;
      }
      return fail("a missing ',' or closing bracket");
    }
  }
  bool value(jsonvalue* v, int depth) {
    if (depth > deepest) return fail("values nested too deep");
    skipspace();
    if (at >= text.size()) return fail("a missing value");
    const char c = text[at];
    if (c == '{') {
      v->type = jsonvalue::object;
      return members(v, '}', depth);
    }
    if (c == '[') {
      v->type = jsonvalue::array;
      return members(v, ']', depth);
    }
    if (c == '"') {
      v->type = jsonvalue::string;
      return string(&v->text);
    }
    v->type = jsonvalue::boolean;
    if (literal("true")) {
      v->flag = true;
      return true;
    }
    if (literal("false")) return true;
    v->type = jsonvalue::null;
    if (literal("null")) return true;
    v->type = jsonvalue::number;
    return number(&v->value);
  }
};

const jsonvalue* member(const jsonvalue& object, const char* key) {
  for (const auto& m : object.members)
    if (m.first == key) return &m.second;
  return nullptr;
}

// Reads the record's fields one by one; the first failure keeps its message.
struct fieldreader {
  const jsonvalue& object;
  std::string* problem;
  bool ok = true;

  const jsonvalue* find(const char* key, jsonvalue::kind type, const char* what, bool required) {
    const jsonvalue* v = member(object, key);
    if (!ok || (!v && !required)) return nullptr;
    if (!v || v->type != type) {
      *problem = std::string(v ? "\"" : "no \"") + key + (v ? "\" is not " : "\", ") + what;
      ok = false;
      return nullptr;
    }
    return v;
  }
  void whole(const char* key, uint32_t lowest, uint32_t highest, uint32_t* out, bool required = true) {
    const jsonvalue* v = find(key, jsonvalue::number, "a whole number", required);
    if (!v) return;
    if (v->value != std::floor(v->value) || v->value < lowest || v->value > highest) {
      *problem = "\"" + std::string(key) + "\" is " + shortestdecimal(v->value) +
                 ", not a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest);
      ok = false;
      return;
    }
    *out = static_cast<uint32_t>(v->value);
  }
  // A number strictly between the bounds, or equal to the lowest when that is included.
  void real(const char* key, double lowest, double highest, double* out, bool required = true,
            bool lowestincluded = false) {
    const jsonvalue* v = find(key, jsonvalue::number, "a number", required);
    if (!v) return;
    if (!((v->value > lowest || (lowestincluded && v->value == lowest)) && v->value < highest)) {
      *problem = "\"" + std::string(key) + "\" is " + shortestdecimal(v->value) + ", outside " +
                 shortestdecimal(lowest) + " to " + shortestdecimal(highest);
      ok = false;
      return;
    }
    *out = v->value;
  }
  void flag(const char* key, bool* out) {
    const jsonvalue* v = find(key, jsonvalue::boolean, "true or false", true);
    if (v) *out = v->flag;
  }
  void text(const char* key, std::string* out) {
    const jsonvalue* v = find(key, jsonvalue::string, "a string", false);
    if (v) *out = v->text;
  }
};

// The stream names of the record's "streams" object, when it has one.
bool readstreamnames(const jsonvalue& object, paramrecord* r, std::string* problem) {
  const jsonvalue* streams = member(object, "streams");
  if (!streams) return true;
  if (streams->type != jsonvalue::object) {
    *problem = "\"streams\" is not an object";
    return false;
  }
  fieldreader names{*streams, problem};
  names.text("lf0", &r->lf0);
  names.text("cc", &r->cc);
  const jsonvalue* fv = member(*streams, "fv");
  if (fv && fv->type != jsonvalue::null) names.text("fv", &r->fv);
  return names.ok;
}

std::string valuestext(uint64_t n) {
  return std::to_string(n) + (n == 1 ? " value" : " values");
}

}  // namespace

std::string shortestdecimal(double v) {
  char text[40];
  if (v == std::floor(v) && std::fabs(v) < 1e15) {
    snprintf(text, sizeof text, "%.0f", v);
    return text;
  }
  for (int digits = 1; digits <= 17; ++digits) {
    snprintf(text, sizeof text, "%.*g", digits, v);
    if (strtod(text, nullptr) == v) break;
  }
  return text;
}

std::string paramrecordpath(const std::string& lf0path) {
  return lf0path + ".json";
}

std::string recordstreamname(const std::string& lf0path, const std::string& streampath) {
  const size_t lf0slash = lf0path.rfind('/'), slash = streampath.rfind('/');
  const std::string folder = lf0slash == std::string::npos ? "" : lf0path.substr(0, lf0slash);
  const std::string streamfolder = slash == std::string::npos ? "" : streampath.substr(0, slash);
  if (folder == streamfolder) return streampath.substr(slash + 1);
  if (streampath[0] == '/') return streampath;
  char cwd[4096];
  return getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + streampath : streampath;
}

std::string formatparamrecord(const paramrecord& r) {
  const std::string version = r.version.empty() ? VELK_VERSION : r.version;
  std::string t = "{\n";
  t += "  \"format\": " + quoted(formatname) + ",\n";
  t += "  \"version\": " + quoted(version) + ",\n";
  t += "  \"fs\": " + std::to_string(r.fs) + ",\n";
  t += "  \"lframe\": " + std::to_string(r.lframe) + ",\n";
  t += "  \"frames\": " + std::to_string(r.frames) + ",\n";
  t += "  \"frame_centre\": \"frame k is centred at sample k * lframe, at k * lframe / fs seconds\",\n";
  t += "  \"frame_shift_s\": " + shortestdecimal(static_cast<double>(r.lframe) / r.fs) + ",\n";
  t += "  \"ccord\": " + std::to_string(r.ccord) + ",\n";
  t += "  \"alpha\": " + shortestdecimal(r.alpha) + ",\n";
  t += "  \"ccmeth\": " + std::to_string(r.ccmeth) + ",\n";
  t += std::string("  \"morvscale\": ") + (r.morvscale ? "true" : "false") + ",\n";
  t += "  \"f0min\": " + shortestdecimal(r.f0min) + ",\n";
  t += "  \"f0max\": " + shortestdecimal(r.f0max) + ",\n";
  t += "  \"streams\": {\"lf0\": " + quoted(r.lf0) + ", \"cc\": " + quoted(r.cc) +
       ", \"fv\": " + (r.fv.empty() ? std::string("null") : quoted(r.fv)) + "}\n";
  return t + "}\n";
}

int parseparamrecord(const std::string& text, paramrecord* r, std::string* problem) {
  jsonreader reader{text, 0, ""};
  jsonvalue top;
  if (!reader.value(&top, 0)) {
    *problem = "not JSON (" + reader.problem + ")";
    return -1;
  }
  reader.skipspace();
  if (reader.at != text.size()) {
    *problem = "not JSON (more after the value at byte " + std::to_string(reader.at) + ")";
    return -1;
  }
  if (top.type != jsonvalue::object) {
    *problem = "not a JSON object";
    return -1;
  }
  const jsonvalue* format = member(top, "format");
  if (!format || format->type != jsonvalue::string || format->text != formatname) {
    *problem = "no \"format\": \"" + std::string(formatname) + "\"";
    return -1;
  }
  paramrecord read;
  fieldreader fields{top, problem};
  fields.text("version", &read.version);
  fields.whole("fs", kLowestSamplingRate, kHighestSamplingRate, &read.fs);
  fields.whole("lframe", 1, UINT32_MAX, &read.lframe);
  fields.whole("frames", 0, UINT32_MAX, &read.frames);
  fields.whole("ccord", 0, highestorder, &read.ccord);
  fields.real("alpha", -1, 1, &read.alpha);
  fields.flag("morvscale", &read.morvscale);
  fields.whole("ccmeth", 0, 4, &read.ccmeth, false);
  fields.real("f0min", 0, HUGE_VAL, &read.f0min, false, true);  // 0: not known
  fields.real("f0max", 0, HUGE_VAL, &read.f0max, false, true);
  if (!fields.ok || !readstreamnames(top, &read, problem)) return -1;
  *r = std::move(read);
  return 0;
}

int readparamrecord(const char* path, paramrecord* r, std::string* problem) {
  FILE* file = fopen(path, "rb");
  if (!file) {
    if (errno == ENOENT) return 0;
    *problem = strerror(errno);
    return -1;
  }
  std::string text;
  char block[4096];
  size_t got = 0;
  while ((got = fread(block, 1, sizeof block, file)) > 0 && text.size() <= static_cast<size_t>(largestrecord))
    text.append(block, got);
  const bool failed = ferror(file) != 0;
  const int error = errno;
  fclose(file);
  if (failed) {
    *problem = strerror(error);
    return -1;
  }
  if (text.size() > static_cast<size_t>(largestrecord)) {
    *problem = "larger than any settings record";
    return -1;
  }
  return parseparamrecord(text, r, problem) == 0 ? 1 : -1;
}

int removeparamrecord(const char* lf0path) {
  const std::string path = paramrecordpath(lf0path);
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT ? 0 : -1;
  return unlink(path.c_str()) == 0 ? 1 : -1;
}

int paramsizesproblem(const paramrecord& r, const char* lf0name, uint64_t lf0values, const char* ccname,
                      uint64_t ccvalues, const char* fvname, const uint64_t* fvvalues, std::string* problem) {
  const uint64_t width = uint64_t{r.ccord} + 1;
  const auto differs = [&](const char* name, uint64_t values, uint64_t expected, const std::string& rule) {
    *problem = std::string(name) + " holds " + valuestext(values) + ", not the " + std::to_string(expected) +
               " of " + rule;
    return -1;
  };
  const std::string frames = std::to_string(r.frames) + " frames";
  if (lf0values != r.frames) return differs(lf0name, lf0values, r.frames, frames);
  if (ccvalues != r.frames * width)
    return differs(ccname, ccvalues, r.frames * width, frames + " of order " + std::to_string(r.ccord));
  if (fvvalues && *fvvalues != r.frames) return differs(fvname, *fvvalues, r.frames, frames);
  return 0;
}

int cepstralorderof(uint64_t frames, uint64_t values, uint32_t* order) {
  const uint64_t width = values / frames;
  if (width == 0 || width * frames != values || width - 1 > UINT32_MAX) return -1;
  *order = static_cast<uint32_t>(width - 1);
  return 0;
}

bool voicingwithinrate(double highest, uint32_t fs) {
  return !(highest > fs / 2.0);
}

}  // namespace velk
