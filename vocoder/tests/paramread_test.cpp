#include "paramread.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Mutable copies of argument texts, as main receives them.
struct Args {
  std::vector<std::string> texts;
  std::vector<char*> pointers;
  explicit Args(std::vector<std::string> t) : texts(std::move(t)) {
    for (auto& s : texts) pointers.push_back(&s[0]);
  }
  int count() const { return static_cast<int>(pointers.size()); }
  char** data() { return pointers.data(); }
};

std::vector<uint32_t> expand(const char* list) {
  uint32_t* indices = nullptr;
  const uint32_t n = strnum2numarray(list, &indices);
  std::vector<uint32_t> out(indices, indices + n);
  free(indices);
  return out;
}

// The programs' loop over an index list.
std::vector<uint32_t> iterate(const char* list) {
  std::vector<uint32_t> out;
  for (const char* p = list; p; p = strnumnextinterv(p)) {
    const uint32_t start = strnumintervstart(p);
    for (uint64_t i = start; i <= strnumintervend(p, start); ++i) out.push_back(static_cast<uint32_t>(i));
  }
  return out;
}

TEST(ParamLookup, NamesMatchWholeAndWithoutCase) {
  char upper[] = "--LFrame=80";
  char shorter[] = "--lfram=80";
  char longer[] = "--lframes=80";
  ASSERT_NE(paramnamematch(upper, "lframe"), nullptr);
  EXPECT_STREQ(paramnamematch(upper, "lframe"), "80");
  EXPECT_EQ(paramnamematch(shorter, "lframe"), nullptr);
  EXPECT_EQ(paramnamematch(longer, "lframe"), nullptr);
}

TEST(ParamLookup, MalformedOptionsNeverMatch) {
  char emptyname[] = "--=5";
  char emptyvalue[] = "--lframe=";
  char noequals[] = "--lframe";
  char single[] = "-lframe=5";
  int value = 7;
  EXPECT_EQ(paramnamematch(emptyname, ""), nullptr);
  EXPECT_EQ(getintparam(emptyvalue, "lframe", &value), -1);
  EXPECT_EQ(getintparam(noequals, "lframe", &value), -1);
  EXPECT_EQ(getintparam(single, "lframe", &value), -1);
  EXPECT_EQ(value, 7);
  EXPECT_FALSE(paramalreadyread(noequals));
  EXPECT_EQ(isparam(noequals), 1);
  EXPECT_EQ(isparam(single), 0);
}

TEST(ParamLookup, TypedValuesReadTheLeadingNumberAndMark) {
  char ms[] = "--lframe=80ms";
  char real[] = "--lframe=4.5";
  char dot[] = "--alpha=.5";
  char word[] = "--lframe=abc";
  char huge[] = "--lframe=99999999999";
  int i = 0;
  double d = 0;
  EXPECT_EQ(getintparam(ms, "lframe", &i), 0);
  EXPECT_EQ(i, 80);
  EXPECT_TRUE(paramalreadyread(ms));
  EXPECT_EQ(getintparam(real, "lframe", &i), 0);
  EXPECT_EQ(i, 4);
  EXPECT_EQ(getdoubleparam(dot, "alpha", &d), 0);
  EXPECT_EQ(d, 0.5);
  EXPECT_EQ(getintparam(word, "lframe", &i), -1);
  EXPECT_FALSE(paramalreadyread(word));
  EXPECT_EQ(getintparam(huge, "lframe", &i), -1);  // does not fit an int
  EXPECT_EQ(i, 4);
}

TEST(ParamLookup, StringValueStaysValidAfterMarking) {
  char arg[] = "--indlist=1-3";
  char* value = getstringparam(arg, "indlist");
  ASSERT_NE(value, nullptr);
  EXPECT_TRUE(paramalreadyread(arg));
  EXPECT_EQ(isparam(arg), 0);
  EXPECT_STREQ(value, "1-3");
  EXPECT_EQ(getstringparam(arg, "indlist"), nullptr);  // a marked argument matches nothing
}

TEST(ParamSearch, RepeatedUnknownAndMalformedOptionsStayUnread) {
  Args args({"--LFRAME=40", "--lframe=60", "--ccord=x", "--ccord=20", "--bogus=1"});
  int lframe = 0, ccord = 0;
  EXPECT_EQ(searchintparam(args.count(), args.data(), "lframe", &lframe), 0);
  EXPECT_EQ(lframe, 40);
  EXPECT_EQ(searchintparam(args.count(), args.data(), "ccord", &ccord), 0);
  EXPECT_EQ(ccord, 20);
  EXPECT_FALSE(paramalreadyread(args.pointers[1]));
  EXPECT_FALSE(paramalreadyread(args.pointers[2]));
  EXPECT_TRUE(paramalreadyread(args.pointers[3]));
  EXPECT_EQ(unreadparams(args.count(), args.data()), 1);

  Args clean({"--alpha=0.3", "--indlist=2"});
  double alpha = 0;
  EXPECT_EQ(searchdoubleparam(clean.count(), clean.data(), "alpha", &alpha), 0);
  EXPECT_EQ(unreadparams(clean.count(), clean.data()), 1);
  ASSERT_NE(searchstringparam(clean.count(), clean.data(), "indlist"), nullptr);
  EXPECT_EQ(unreadparams(clean.count(), clean.data()), 0);
  int absent = 9;
  EXPECT_EQ(searchintparam(clean.count(), clean.data(), "zfill", &absent), -1);
  EXPECT_EQ(absent, 9);
}

TEST(IndexList, DiagnosisAcceptsTheGrammar) {
  for (const char* good : {"7", "0", "1-3,7,10-12", "1-3,7,10-12(3)", "0-9(1)", "1-3-5", "5(0)", "2147483647"})
    EXPECT_EQ(strnumdiagnose(good), 0) << good;
}

TEST(IndexList, DiagnosisRejectsMalformedLists) {
  for (const char* bad : {"", "a1", "1,", "1-", "(3)", "5,4", "3-1", "1,1", "1-3,2", "1,-3", "12(1)", "1-3(",
                          "1(3", "1(x)", "1 2", "2147483648", "99999999999999999999999", "1--2", ",1"})
    EXPECT_EQ(strnumdiagnose(bad), -1) << bad;
  EXPECT_EQ(strnumdiagnose(nullptr), -1);
}

TEST(IndexList, IterationAndExpansionNameTheSameIndices) {
  const std::vector<uint32_t> expected = {1, 2, 3, 7, 10, 11, 12};
  EXPECT_EQ(iterate("1-3,7,10-12"), expected);
  EXPECT_EQ(expand("1-3,7,10-12(3)"), expected);
  EXPECT_EQ(iterate("1-3,7,10-12(3)"), expected);
  EXPECT_EQ(iterate("1-3-5"), (std::vector<uint32_t>{1, 2, 3}));
  EXPECT_EQ(expand("7"), std::vector<uint32_t>{7});
  EXPECT_EQ(strnumnextinterv("10-12(3)"), nullptr);
}

TEST(IndexList, DigitCounts) {
  EXPECT_EQ(strnumdigits("1-3,7,10-12(3)"), 3u);
  EXPECT_EQ(strnumdigits("1(3)"), 3u);
  EXPECT_EQ(strnumdigits("(3)"), 0u);
  EXPECT_EQ(strnumdigits("1-3,12"), 0u);
  EXPECT_EQ(strnumdefaultdigits("1-3,7,10-12"), 2u);
  EXPECT_EQ(strnumdefaultdigits("1-3,7,10-1234(5)"), 4u);
  EXPECT_EQ(getdigits(0), 1u);
  EXPECT_EQ(getdigits(9), 1u);
  EXPECT_EQ(getdigits(10), 2u);
  EXPECT_EQ(getdigits(999), 3u);
  EXPECT_EQ(getdigits(1000), 4u);
  EXPECT_EQ(getdigits(999999999), 9u);
  EXPECT_EQ(getdigits(1000000000), 10u);
  EXPECT_EQ(getdigits(4294967295u), 10u);
}

TEST(FileNames, NameAndExtension) {
  EXPECT_STREQ(getfilename("dir/sub/name.wav"), "name.wav");
  EXPECT_STREQ(getfilename("d:\\x\\y.wav"), "y.wav");
  EXPECT_STREQ(getfilename("plain"), "plain");
  EXPECT_EQ(getfileextension("dir.d/name"), nullptr);
  EXPECT_STREQ(getfileextension("a.b.txt"), ".txt");
  EXPECT_STREQ(getfileindex("d1/take2_???.wav"), "2_???.wav");
  EXPECT_EQ(getfileindex("d1/name.wav"), nullptr);
}

TEST(FileNames, IndexFillsThePlaceholderRightAligned) {
  char name[] = "wav/s???.wav";
  EXPECT_EQ(replacefileindex(name, 7), 0);
  EXPECT_STREQ(name, "wav/s007.wav");
  EXPECT_EQ(replacefileindex(name, 12), 0);
  EXPECT_STREQ(name, "wav/s012.wav");
  EXPECT_EQ(replacefileindex(name, 1234), -1);
  EXPECT_STREQ(name, "wav/s012.wav");
  char none[] = "dir9/name.wav";
  EXPECT_EQ(replacefileindex(none, 1), -1);
  EXPECT_STREQ(none, "dir9/name.wav");
  char take[] = "take2_???.wav";
  EXPECT_EQ(replacefileindex(take, 5), 0);
  EXPECT_STREQ(take, "take5_???.wav");
  char wide[] = "f??????????";
  EXPECT_EQ(replacefileindex(wide, 4294967295u), 0);
  EXPECT_STREQ(wide, "f4294967295");
}

TEST(FileNames, ReplaceExtensionAndName) {
  char withdot[32] = "dir/a.b.wav";
  EXPECT_EQ(replacefileextension(withdot, ".lf0"), 0);
  EXPECT_STREQ(withdot, "dir/a.b.lf0");
  char nodot[32] = "dir.d/name";
  EXPECT_EQ(replacefileextension(nodot, ".cc"), 0);
  EXPECT_STREQ(nodot, "dir.d/name.cc");
  char percent[32] = "x";
  EXPECT_EQ(replacefileextension(percent, ".%s%n"), 0);  // copied as text, never as a format
  EXPECT_STREQ(percent, "x.%s%n");
  char path[32] = "a/b\\old.wav";
  EXPECT_EQ(replacefilename(path, "new.fv"), 0);
  EXPECT_STREQ(path, "a/b\\new.fv");
}

TEST(Lists, WordListsGrowAndFindWholeElements) {
  char* list = appendstrtolist(nullptr, "x");
  EXPECT_STREQ(list, "{x}");
  list = appendstrtolist(list, "yy");
  EXPECT_STREQ(list, "{x,yy}");
  EXPECT_EQ(isinstrlist(list, "yy"), 1);
  EXPECT_EQ(isinstrlist(list, "y"), 0);
  list = createemptystrlist(list);
  EXPECT_STREQ(list, "{}");
  list = appendstrtolist(list, "%s");
  EXPECT_STREQ(list, "{%s}");
  EXPECT_EQ(destroystrlist(list), 0);
  EXPECT_EQ(isinstrlist("{ab,b}", "b"), 1);
  EXPECT_EQ(isinstrlist("{ab}", "b"), 0);
  EXPECT_EQ(isinstrlist("{b}", ""), 0);
}

TEST(Lists, NumberLists) {
  EXPECT_EQ(getnelemsinnumlist("{1.5,2;30}"), 3u);
  EXPECT_EQ(getnelemsinnumlist("{1.}"), 0u);
  EXPECT_EQ(getnelemsinnumlist("{-1}"), 0u);
  EXPECT_EQ(getnelemsinnumlist("{}"), 0u);
  EXPECT_EQ(getnelemsinnumlist("{1e3}"), 0u);
  EXPECT_EQ(getnelemsinnumlist("{1, 2}"), 0u);
  EXPECT_EQ(getnelemsinnumlist("{1,2"), 0u);
  EXPECT_EQ(getnelemsinnumlist(nullptr), 0u);
  double values[3] = {0, 0, 0};
  EXPECT_EQ(getelemsinnumlist("{1.5,2;30}", 3, values), 0);
  EXPECT_EQ(values[0], 1.5);
  EXPECT_EQ(values[1], 2.0);
  EXPECT_EQ(values[2], 30.0);
  EXPECT_EQ(getelemsinnumlist("{4}", 3, values), -1);  // never reads past the text
  EXPECT_EQ(values[0], 4.0);
}

}  // namespace
