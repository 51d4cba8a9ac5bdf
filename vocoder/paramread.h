#pragma once
// Command-line options of the form --name=value, index lists for numbered file series,
// file-name helpers and small word and number lists.
//
// A consumed option is marked by overwriting its first character with a blank, so it can no
// longer match a later lookup and `unreadparams` finds every argument no lookup consumed.

#include <cstdint>

// Option lookup. Routines return 0 for success and -1 for failure unless stated.
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

// Index lists such as "1-3,7,10-12(3)": increasing intervals, optional digit count.
int strnumdiagnose(const char* list);
uint32_t strnumintervstart(const char* interval);
uint32_t strnumintervend(const char* interval, uint32_t start);
const char* strnumnextinterv(const char* interval);
uint32_t strnum2numarray(const char* list, uint32_t** indices);
uint32_t strnumdigits(const char* list);
uint32_t strnumdefaultdigits(const char* list);
uint32_t getdigits(uint32_t value);

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

// Word lists "{a,b}" (heap strings owned by the caller) and number lists "{1.5,2;30}".
char* createemptystrlist(char* old);
char* appendstrtolist(char* list, const char* word);
int isinstrlist(const char* list, const char* word);
int destroystrlist(char* list);
uint32_t getnelemsinnumlist(const char* list);
int getelemsinnumlist(const char* list, uint32_t count, double* values);
