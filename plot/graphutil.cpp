// Helper routines of the graph command's interpreter.
#include "graphutil.h"

#include <cmath>
#include <cstring>

#include "constants.h"
#include "penprims.h"

namespace velk {

namespace {

const size_t kWordMax = 255, kTypeMax = 15, kTextMax = 511;

bool isblank(char c) {
  return c == ' ' || c == '\t';
}
bool endsword(char c) {
  return c == '\0' || c == '\n' || c == '\r' || isblank(c);
}

char* skipblanks(char* s) {
  while (isblank(*s)) ++s;
  return s;
}

// Copies the word at s (bounded) and returns the position after it.
char* copyword(char* s, char* word, size_t max) {
  size_t n = 0;
  while (!endsword(*s)) {
    if (n < max) word[n++] = *s;
    ++s;
  }
  word[n] = '\0';
  return s;
}

bool isletter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Decodes one UTF-8 sequence at s; returns its length (1 for a stray byte).
int utf8decode(const unsigned char* s, unsigned* cp) {
  if (s[0] >= 0xC0 && s[0] < 0xE0 && (s[1] & 0xC0) == 0x80) {
    *cp = ((s[0] & 0x1Fu) << 6) | (s[1] & 0x3Fu);
    return 2;
  }
  *cp = s[0];
  return 1;
}

}  // namespace

char* getarg(char* s, char* word) {
  s = skipblanks(s);
  if (*s == '\0' || *s == '\n' || *s == '\r') return nullptr;
  return copyword(s, word, kWordMax);
}

char* gettyp(char* s, char* typeword) {
  s = skipblanks(s);
  if (!isletter(*s)) {
    typeword[0] = '\0';
    return s;
  }
  return copyword(s, typeword, kTypeMax);
}

char* gettxt_fig(char* s, char** rest) {
  s = skipblanks(s);
  char* text = s;
  char* end;
  if (*s == '"') {
    text = s + 1;
    end = text;
    while (*end != '"' && *end != '\0' && *end != '\n') ++end;
  } else {
    end = s;
    while (!endsword(*end)) ++end;
  }
  *rest = (*end == '\0') ? end : end + 1;
  *end = '\0';
  return text;
}

char* getname(char* s, char* word) {
  char* rest;
  char* text = gettxt_fig(s, &rest);
  if (getarg(rest, word) == nullptr) word[0] = '\0';
  return text;
}

double sleng(const char* text, double /* the fixed-pitch advance does not depend on h */, double w) {
  int count = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
    count += (*p & 0xC0) != 0x80;  // UTF-8 continuation bytes are not characters
  return count * w;
}

unsigned char greeksymbolbyte(unsigned cp) {
  if (cp >= 0x391 && cp <= 0x3A9 && cp != 0x3A2)
    return static_cast<unsigned char>(0xC1 + cp - 0x391 - (cp > 0x3A2 ? 1 : 0));
  if (cp == 0x3C2) cp = 0x3C3;  // final sigma is drawn as sigma
  if (cp >= 0x3B1 && cp <= 0x3C9) return static_cast<unsigned char>(0xE1 + cp - 0x3B1 - (cp > 0x3C2 ? 1 : 0));
  return 0;
}

void symboltext(plotcontext* pc, const char* text, double x, double y, double h, double w, double angle) {
  char out[kTextMax + 1];
  size_t n = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p && n < kTextMax) {
    unsigned cp;
    const int len = utf8decode(p, &cp);
    const unsigned char greek = greeksymbolbyte(cp);
    if (greek) {
      out[n++] = static_cast<char>(greek);
    } else {
      for (int k = 0; k < len && n < kTextMax; ++k) out[n++] = static_cast<char>(p[k]);
    }
    p += len;
  }
  out[n] = '\0';
  symbol(pc, x, y, out, h, w, angle);
}

double ysadj(const plotcontext* pc) {
  // The viewer's fonts stand taller than the nominal height; lowering the labels by
  // half a character keeps them clear of the axis line.
  return 0.5 * pc->h;
}

double argapf(double f, double alpha) {
  const double omega = kPi * f;
  const double warped = omega + 2.0 * std::atan(alpha * std::sin(omega) / (1.0 - alpha * std::cos(omega)));
  return warped / kPi;
}

double rx(double a, double b, double angle) {
  const double t = angle * kPi / 180.0;
  return a * std::cos(t) - b * std::sin(t);
}

double ry(double a, double b, double angle) {
  const double t = angle * kPi / 180.0;
  return a * std::sin(t) + b * std::cos(t);
}

}  // namespace velk
