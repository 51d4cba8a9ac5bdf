// Helper routines of the graph command's interpreter: words of a description line, text
// lengths, Greek letters, warping and rotation. The settings live in the plotting context.
#pragma once

#include "plcoord.h"

namespace velk {

// Copies the next blank-separated word of s (at most 255 characters) into word and
// returns the position after it, or null when s holds no further word.
char* getarg(char* s, char* word);
// Copies an axis type word (a word starting with a letter, at most 15 characters) into
// type, or empties type when none is present; returns the position of what follows.
char* gettyp(char* s, char* type);
// Text of a title or print command: a double-quoted text or a single word. It is
// terminated in place; *rest is where the line goes on after it.
char* gettxt_fig(char* s, char** rest);
// Name text of an axis-name command; word receives the number that follows it, if any.
char* getname(char* s, char* word);
// Length of a text in figure units for characters of height h and width w.
double sleng(const char* text, double h, double w);
// Writes a text at (x, y) with the given size and angle in degrees; Greek letters written
// in UTF-8 are drawn from the plotter's symbol font.
void symboltext(plotcontext* pc, const char* text, double x, double y, double h, double w, double angle);
// Distance by which horizontal-axis labels are lowered below their nominal baseline, for the
// character height of pc.
double ysadj(const plotcontext* pc);
// All-pass frequency warping of a normalised frequency f (0..1) with parameter alpha.
double argapf(double f, double alpha);
// Components of the offset (a, b) rotated by angle degrees.
double rx(double a, double b, double angle);
double ry(double a, double b, double angle);

// Plotter symbol-font byte for a Unicode Greek letter, or 0 when it is none.
unsigned char greeksymbolbyte(unsigned codepoint);

}  // namespace velk
