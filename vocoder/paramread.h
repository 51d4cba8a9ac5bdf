#pragma once
// Command-line options of the form --name=value, index lists for numbered file series,
// file-name helpers and small word and number lists: the argument handling of the programs.
// Built on no other module.
//
// A consumed option is marked by overwriting its first character with a blank, so it can no
// longer match a later lookup and `unreadparams` finds every argument no lookup consumed.

#include <cstddef>
#include <cstdint>

namespace velk {

// Option lookup. Routines return 0 for success and -1 for failure unless stated. A typed value
// must make up the whole text after '=' and fit its type: an integer is an optional sign and
// decimal digits within the int range; a real is the C library's notation (strtod) without
// blanks, finite texts beyond the double range refused. Anything else leaves the argument unread.
int isparam(const char* arg);
char* paramnamematch(char* arg, const char* name);
int markparamasread(char* arg);
int paramalreadyread(const char* arg);
int getintparam(char* arg, const char* name, int* value);
int getdoubleparam(char* arg, const char* name, double* value);
char* getstringparam(char* arg, const char* name);
int searchintparam(int count, char** args, const char* name, int* value);
int searchdoubleparam(int count, char** args, const char* name, double* value);
char* searchstringparam(int count, char** args, const char* name);
int unreadparams(int count, char** args);

// An option of a program as the diagnosis of a refused command line sees it: its name, its kind
// ('i' integer, 'r' real, 's' text) and the bounds outside which the program refuses a value
// (inclusive, or exclusive when `open`; infinite bounds for none; a real NaN lies outside finite
// bounds).
struct optionrule {
  const char* name;
  char kind;
  double lowest, highest;
  bool open;
};
// The first rule an argument of a refused command line breaks, written into `problem` (at most
// `size` bytes) as "ARGUMENT: RULE": a file-name argument (args[1] up to `firstoption`) that
// looks like a mistyped option ("-lframe=80: ..."), then in the option region (from
// `firstoption` to `count`) an argument that is no --name=value, an unknown name, a name given
// twice, a value not of its kind and a value outside its bounds. args are the arguments as given
// (before any lookup marked them). 0 when one is found, -1 when none is.
int optionproblem(int count, char* const* args, int firstoption, const optionrule* rules, size_t rulecount,
                  char* problem, size_t size);
// Start of the option region: the position of the first argument that begins with "--" (the
// program name included in the scan), or count when there is none.
int paramregionstart(int count, char* const* args);

// Index lists such as "1-3,7,10-12(3)": increasing intervals, optional digit count.
int strnumdiagnose(const char* list);
uint32_t strnumintervstart(const char* interval);
uint32_t strnumintervend(const char* interval, uint32_t start);
const char* strnumnextinterv(const char* interval);
uint32_t strnum2numarray(const char* list, uint32_t** indices);
uint32_t strnumdigits(const char* list);
uint32_t strnumdefaultdigits(const char* list);
uint32_t getdigits(uint32_t value);
// Walk over every index of a list: *interval null starts at the list's first index, otherwise
// *index moves on from the previous one. 0 with the next index in *index; -1 at the end.
int strnumnextindex(const char* list, const char** interval, uint32_t* index);
// Visitor of the file sets of a numbered series: `unfit` is the number of names when every name
// took the index, else the position of the first that did not; names[unfit] then holds its
// template unchanged, and the names after it their template or an earlier set's name.
typedef void (*filesetvisitor)(char* const* names, uint32_t index, uint32_t unfit, void* context);
// Calls `visit` for every index of the list in order with the names of its set, made from the
// `count` templates by replacesetindex (a null template gives a null name).
//   list       in: an index list that strnumdiagnose accepts
//   count      number of templates (and of names per set)
//   templates  in: count file-name templates, entries may be null
//   visit      called once per index with the set's names (storage of this call, rewritten for
//              every index and freed on return), the index and `unfit` as filesetvisitor says
//   context    passed to visit unchanged
// Returns 0 after the last index, -1 when the names cannot be allocated.
int strnumforeachset(const char* list, uint32_t count, const char* const* templates, filesetvisitor visit,
                     void* context);

// File names. The index placeholder is the first run of '?' or digits in the file-name part.
const char* getfilename(const char* path);
char* getfilename(char* path);
const char* getfileextension(const char* path);
char* getfileextension(char* path);
const char* getfileindex(const char* path);
char* getfileindex(char* path);
int replacefileindex(char* path, uint32_t index);
int replacefileextension(char* path, const char* extension);
int replacefilename(char* path, const char* name);
// Names of one file set of a numbered series: names[k] receives templates[k] with the index
// written into its placeholder, looked for from the first '?' of the file-name part when there
// is one (so a digit elsewhere in the name, as in "f0_???", is not taken for it). names[k] needs
// room for strlen(templates[k]) + 1 characters; a null template is skipped.
//   count      number of templates and names
//   templates  in: count templates, entries may be null
//   index      the set's index
//   names      out: count buffers, caller's, sized as above
//   unfit      out (or null): the position of the first template without a wide enough placeholder
// Returns 0, or -1 when a template has no placeholder wide enough for the index.
int replacesetindex(uint32_t count, const char* const* templates, uint32_t index, char* const* names,
                    uint32_t* unfit);

// Checks a diagnosed list against the `count` name templates of its sets (null ones skipped)
// before any set is made: 0 when every index fits every template; 1 when template *unfit has
// no placeholder; 2 when its placeholder is too narrow for index *index, the largest of the list.
int strnumcheckset(const char* list, uint32_t count, const char* const* templates, uint32_t* unfit,
                   uint32_t* index);
// The same, with what strnumcheckset refuses described in `problem` (at most `size` bytes):
// "NAME has no index placeholder" or "index N does not fit the name NAME". 0 or -1.
int strnumfitsnames(const char* list, uint32_t count, const char* const* templates, char* problem,
                    size_t size);

// Word lists "{a,b}" (heap strings owned by the caller) and number lists "{1.5,2;30}".
char* createemptystrlist(char* old);
// The list with the word appended; null when memory runs out, the list then freed.
char* appendstrtolist(char* list, const char* word);
int isinstrlist(const char* list, const char* word);
int destroystrlist(char* list);
uint32_t getnelemsinnumlist(const char* list);
int getelemsinnumlist(const char* list, uint32_t count, double* values);

}  // namespace velk
