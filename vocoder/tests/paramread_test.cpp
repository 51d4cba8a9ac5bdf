#include "paramread.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

using namespace velk;

namespace {

TEST(ParamLookup, NamesMatchWholeWithoutCaseAndNeedAValue) {
  char upper[] = "--LFrame=80", shorter[] = "--lfram=80", longer[] = "--lframes=80";
  char noname[] = "--=5", novalue[] = "--lframe=", noequals[] = "--lframe", single[] = "-lframe=5";
  EXPECT_STREQ(paramnamematch(upper, "lframe"), "80");
  for (char* arg : {shorter, longer, novalue, noequals, single})
    EXPECT_EQ(paramnamematch(arg, "lframe"), nullptr) << arg;
  EXPECT_EQ(paramnamematch(noname, ""), nullptr);
  EXPECT_EQ(isparam(noequals), 1);
  EXPECT_EQ(isparam(single), 0);
}

TEST(ParamLookup, TypedValuesMustMakeUpTheWholeTextAndMarkOnlyOnSuccess) {
  char whole[] = "--lframe=80", sign[] = "--lframe=+7", neg[] = "--lframe=-3", dot[] = "--alpha=.5",
       expo[] = "--alpha=1e-3", text[] = "--indlist=1-3";
  int i = 0;
  double d = 0;
  EXPECT_EQ(getintparam(whole, "lframe", &i), 0);
  EXPECT_EQ(i, 80);
  EXPECT_EQ(getintparam(sign, "lframe", &i), 0);
  EXPECT_EQ(i, 7);
  EXPECT_EQ(getintparam(neg, "lframe", &i), 0);
  EXPECT_EQ(i, -3);
  EXPECT_EQ(getdoubleparam(dot, "alpha", &d), 0);
  EXPECT_EQ(d, 0.5);
  EXPECT_EQ(getdoubleparam(expo, "alpha", &d), 0);
  EXPECT_EQ(d, 1e-3);
  EXPECT_TRUE(paramalreadyread(whole) && paramalreadyread(sign) && paramalreadyread(dot));
  char* value = getstringparam(text, "indlist");
  EXPECT_TRUE(paramalreadyread(text));
  EXPECT_STREQ(value, "1-3");                           // still valid after marking
  EXPECT_EQ(getstringparam(text, "indlist"), nullptr);  // a marked argument matches nothing
}

// Texts that only begin with a number, or hold one that does not fit, are refused and stay
// unread instead of giving their leading digits (80ms as 80, 4.5 as 4, 1e308 as 1).
TEST(ParamLookup, PartlyNumericOrUnfittingValuesAreRefused) {
  for (const char* bad : {"80ms", "4.5", "1e308", "8x0", "abc", "99999999999", "-2147483649", " 80", "80 ",
                          "--3", "+", "-", "0x10", "3.5"}) {
    std::string arg = std::string("--lframe=") + bad;
    int i = 42;
    EXPECT_EQ(getintparam(&arg[0], "lframe", &i), -1) << bad;
    EXPECT_EQ(i, 42) << bad;
    EXPECT_FALSE(paramalreadyread(arg.c_str())) << bad;
  }
  for (const char* bad : {"0.5x", "8x0", "1e400", "-1e400", " 0.5", "0.5 ", "abc", ".", "e3", "1e"}) {
    std::string arg = std::string("--alpha=") + bad;
    double d = 42;
    EXPECT_EQ(getdoubleparam(&arg[0], "alpha", &d), -1) << bad;
    EXPECT_EQ(d, 42) << bad;
    EXPECT_FALSE(paramalreadyread(arg.c_str())) << bad;
  }
  std::string limit = "--lframe=-2147483648", tiny = "--alpha=1e-400", nan = "--alpha=nan";
  int i = 0;
  double d = 1;
  EXPECT_EQ(getintparam(&limit[0], "lframe", &i), 0);
  EXPECT_EQ(i, INT_MIN);
  EXPECT_EQ(getdoubleparam(&tiny[0], "alpha", &d), 0);  // underflows to zero: still a number
  EXPECT_EQ(d, 0.0);
  EXPECT_EQ(getdoubleparam(&nan[0], "alpha", &d), 0);
  EXPECT_TRUE(std::isnan(d));
}

TEST(ParamSearch, RepeatedUnknownAndMalformedOptionsStayUnread) {
  std::vector<std::string> texts = {"--LFRAME=40", "--lframe=60", "--ccord=x",
                                    "--ccord=20",  "--alpha=.3",  "--l=1"};
  std::vector<char*> args;
  for (auto& t : texts) args.push_back(&t[0]);
  const int n = static_cast<int>(args.size());
  int lframe = 0, ccord = 0, absent = 9;
  double alpha = 0;
  EXPECT_EQ(searchintparam(n, args.data(), "lframe", &lframe), 0);
  EXPECT_EQ(searchintparam(n, args.data(), "ccord", &ccord), 0);
  EXPECT_EQ(searchdoubleparam(n, args.data(), "alpha", &alpha), 0);
  EXPECT_EQ(searchintparam(n, args.data(), "zfill", &absent), -1);
  EXPECT_EQ(searchstringparam(n, args.data(), "indlist"), nullptr);
  EXPECT_EQ(lframe, 40);
  EXPECT_EQ(ccord, 20);
  EXPECT_EQ(alpha, 0.3);
  EXPECT_EQ(absent, 9);
  const std::vector<bool> read = {true, false, false, true, true, false};
  for (int i = 0; i < n; ++i) EXPECT_EQ(paramalreadyread(args[i]) == 1, read[i]) << texts[i];
  EXPECT_EQ(unreadparams(n, args.data()), 1);
  EXPECT_EQ(unreadparams(1, args.data()), 0);
}

// The first broken rule of a command line, in argument order: file names first, then options.
TEST(OptionProblem, NamesTheFirstArgumentAndTheRuleItBreaks) {
  const optionrule rules[] = {{"lframe", 'i', 1, HUGE_VAL, false},
                              {"alpha", 'r', -1, 1, true},
                              {"ccord", 'i', 0, 511, false},
                              {"fpitch", 'r', -HUGE_VAL, HUGE_VAL, false},
                              {"indlist", 's', -HUGE_VAL, HUGE_VAL, false}};
  const auto problem = [&](std::vector<std::string> texts) {
    std::vector<char*> args;
    for (auto& t : texts) args.push_back(&t[0]);
    const int count = static_cast<int>(args.size());
    char text[256] = "";
    if (optionproblem(count, args.data(), paramregionstart(count, args.data()), rules, 5, text,
                      sizeof text) != 0)
      return std::string("none");
    return std::string(text);
  };
  EXPECT_EQ(problem({"prog", "a", "b", "--ccord=512"}), "--ccord=512: above 511");
  EXPECT_EQ(problem({"prog", "a", "b", "--ccord=511", "--lframe=0"}), "--lframe=0: below 1");
  EXPECT_EQ(problem({"prog", "a", "b", "--alpha=1"}), "--alpha=1: not below 1");
  EXPECT_EQ(problem({"prog", "a", "b", "--alpha=-1"}), "--alpha=-1: not above -1");
  EXPECT_EQ(problem({"prog", "a", "b", "--alpha=0.5x"}), "--alpha=0.5x: not a number");
  EXPECT_EQ(problem({"prog", "a", "b", "--fpitch=nan", "--indlist=x"}), "none");  // no bounds, any text
  EXPECT_EQ(problem({"prog", "a", "b", "--ccord=1", "--CCORD=2"}), "--CCORD=2: --ccord given twice");
  EXPECT_EQ(problem({"prog", "a", "b", "--fdur=2"}), "--fdur=2: unknown option");
  EXPECT_EQ(problem({"prog", "a", "b", "--ccord="}), "--ccord=: no value");
  EXPECT_EQ(problem({"prog", "a", "-alpha=0.3", "--ccord=x"}),
            "-alpha=0.3: a file name that looks like the option --alpha=0.3 (options start with --)");
  EXPECT_EQ(problem({"prog", "-", "-x=1", "a.wav"}), "none");  // dashes that name no option
  EXPECT_EQ(problem({"prog", "a", "b", "c"}), "none");
}

TEST(IndexList, DiagnosisFollowsTheGrammar) {
  for (const char* good :
       {"7", "0", "1-3,7,10-12", "1-3,7,10-12(3)", "0-9(1)", "1-3-5", "5(0)", "2147483647"})
    EXPECT_EQ(strnumdiagnose(good), 0) << good;
  for (const char* bad : {"", "a1", "1,", "1-", "(3)", "5,4", "3-1", "1,1", "1-3,2", "1,-3", "12(1)", "1-3(",
                          "1(3", "1 2", "1--2", "2147483648", "99999999999999999999999"})
    EXPECT_EQ(strnumdiagnose(bad), -1) << bad;
}

TEST(IndexList, IterationAndExpansionNameTheSameIndices) {
  for (const char* list : {"1-3,7,10-12", "1-3,7,10-12(3)"}) {
    std::vector<uint32_t> visited;
    for (const char* p = list; p; p = strnumnextinterv(p)) {
      const uint32_t start = strnumintervstart(p);
      for (uint32_t i = start; i <= strnumintervend(p, start); ++i) visited.push_back(i);
    }
    uint32_t* indices = nullptr;
    const uint32_t n = strnum2numarray(list, &indices);
    EXPECT_EQ(visited, (std::vector<uint32_t>{1, 2, 3, 7, 10, 11, 12})) << list;
    EXPECT_EQ(std::vector<uint32_t>(indices, indices + n), visited) << list;
    free(indices);
  }
  EXPECT_EQ(strnumintervend("1-3-5", 1), 3u);
}

TEST(IndexList, DigitCounts) {
  EXPECT_EQ(strnumdigits("1-3,7,10-12(3)"), 3u);
  EXPECT_EQ(strnumdigits("1(3)"), 3u);
  EXPECT_EQ(strnumdigits("(3)"), 0u);
  EXPECT_EQ(strnumdigits("1-3,12"), 0u);
  EXPECT_EQ(strnumdefaultdigits("1-3,7,10-12"), 2u);
  EXPECT_EQ(strnumdefaultdigits("1-3,7,10-1234(5)"), 4u);
  const std::vector<std::pair<uint32_t, uint32_t>> digits = {
      {0, 1}, {9, 1}, {10, 2}, {999, 3}, {1000, 4}, {999999999, 9}, {1000000000, 10}, {4294967295u, 10}};
  for (const auto& d : digits) EXPECT_EQ(getdigits(d.first), d.second) << d.first;
}

TEST(FileNames, NameExtensionAndPlaceholder) {
  EXPECT_STREQ(getfilename("dir/sub/name.wav"), "name.wav");
  EXPECT_STREQ(getfilename("d:\\x\\y.wav"), "y.wav");
  EXPECT_STREQ(getfilename("plain"), "plain");
  EXPECT_EQ(getfileextension("dir.d/name"), nullptr);
  EXPECT_STREQ(getfileextension("a.b.txt"), ".txt");
  EXPECT_STREQ(getfileindex("d1/take2_???.wav"), "2_???.wav");
  EXPECT_EQ(getfileindex("d1/name.wav"), nullptr);
}

TEST(FileNames, IndexFillsThePlaceholderRightAlignedOrLeavesTheName) {
  char name[] = "wav/s???.wav", none[] = "dir9/name.wav", take[] = "take2_???.wav", wide[] = "f??????????";
  EXPECT_EQ(replacefileindex(name, 7), 0);
  EXPECT_STREQ(name, "wav/s007.wav");
  EXPECT_EQ(replacefileindex(name, 12), 0);
  EXPECT_STREQ(name, "wav/s012.wav");
  EXPECT_EQ(replacefileindex(name, 1234), -1);
  EXPECT_STREQ(name, "wav/s012.wav");
  EXPECT_EQ(replacefileindex(none, 1), -1);
  EXPECT_STREQ(none, "dir9/name.wav");
  EXPECT_EQ(replacefileindex(take, 5), 0);
  EXPECT_STREQ(take, "take5_???.wav");
  EXPECT_EQ(replacefileindex(wide, 4294967295u), 0);
  EXPECT_STREQ(wide, "f4294967295");
}

TEST(FileNames, ReplaceExtensionAndName) {
  char withdot[32] = "dir/a.b.wav", nodot[32] = "dir.d/name", percent[32] = "x", path[32] = "a/b\\old.wav";
  EXPECT_EQ(replacefileextension(withdot, ".lf0"), 0);
  EXPECT_STREQ(withdot, "dir/a.b.lf0");
  EXPECT_EQ(replacefileextension(nodot, ".cc"), 0);
  EXPECT_STREQ(nodot, "dir.d/name.cc");
  EXPECT_EQ(replacefileextension(percent, ".%s%n"), 0);  // copied as text, never used as a format
  EXPECT_STREQ(percent, "x.%s%n");
  EXPECT_EQ(replacefilename(path, "new.fv"), 0);
  EXPECT_STREQ(path, "a/b\\new.fv");
}

TEST(Lists, WordLists) {
  char* list = appendstrtolist(nullptr, "x");
  EXPECT_STREQ(list, "{x}");
  list = appendstrtolist(list, "yy");
  EXPECT_STREQ(list, "{x,yy}");
  EXPECT_EQ(isinstrlist(list, "yy"), 1);
  EXPECT_EQ(isinstrlist(list, "y"), 0);
  list = appendstrtolist(createemptystrlist(list), "%s");
  EXPECT_STREQ(list, "{%s}");
  EXPECT_EQ(destroystrlist(list), 0);
  EXPECT_EQ(isinstrlist("{ab,b}", "b"), 1);
  EXPECT_EQ(isinstrlist("{ab}", "b"), 0);
}

TEST(Lists, NumberLists) {
  EXPECT_EQ(getnelemsinnumlist("{1.5,2;30}"), 3u);
  for (const char* bad : {"{1.}", "{-1}", "{}", "{1e3}", "{1, 2}", "{1,2", "1,2}"})
    EXPECT_EQ(getnelemsinnumlist(bad), 0u) << bad;
  EXPECT_EQ(getnelemsinnumlist(nullptr), 0u);
  double values[3] = {0, 0, 0};
  EXPECT_EQ(getelemsinnumlist("{1.5,2;30}", 3, values), 0);
  EXPECT_EQ(std::vector<double>(values, values + 3), (std::vector<double>{1.5, 2.0, 30.0}));
  EXPECT_EQ(getelemsinnumlist("{4}", 3, values), -1);  // never reads past the text
  EXPECT_EQ(values[0], 4.0);
}

TEST(ParamRegion, StartsAtTheFirstOptionFromTheProgramNameOn) {
  char prog[] = "velkcoder", wav[] = "a.wav", f0[] = "f0", option[] = "--lframe=80", dash[] = "-x",
       marked[] = " -lframe=8";
  char* withoptions[] = {prog, wav, f0, option, wav};
  char* none[] = {prog, wav, dash, marked};
  char* named[] = {option, wav};
  EXPECT_EQ(paramregionstart(5, withoptions), 3);
  EXPECT_EQ(paramregionstart(3, withoptions), 3);  // only the first three looked at
  EXPECT_EQ(paramregionstart(4, none), 4);
  EXPECT_EQ(paramregionstart(2, named), 0);
  EXPECT_EQ(paramregionstart(0, named), 0);
}

// Every index the walk visits, in order.
std::vector<uint32_t> walk(const char* list) {
  std::vector<uint32_t> visited;
  const char* interval = nullptr;
  for (uint32_t index = 0; strnumnextindex(list, &interval, &index) == 0 && visited.size() < 100;)
    visited.push_back(index);
  return visited;
}

TEST(IndexList, WalkVisitsEveryIndexOnce) {
  EXPECT_EQ(walk("1-3,7,10-12(3)"), (std::vector<uint32_t>{1, 2, 3, 7, 10, 11, 12}));
  EXPECT_EQ(walk("0"), (std::vector<uint32_t>{0}));
  EXPECT_EQ(walk("4-4,6-7"), (std::vector<uint32_t>{4, 6, 7}));
  EXPECT_EQ(walk("1-3-5"), (std::vector<uint32_t>{1, 2, 3}));
  EXPECT_EQ(walk("5-3,8"), (std::vector<uint32_t>{8}));  // a backwards interval names nothing
  EXPECT_EQ(walk("9-2"), std::vector<uint32_t>{});
  EXPECT_EQ(walk(nullptr), std::vector<uint32_t>{});
  EXPECT_EQ(walk("4294967294-4294967295"),
            (std::vector<uint32_t>{4294967294u, 4294967295u}));  // no wrap-around
  for (const char* list : {"1-3,7,10-12", "0-9(1)", "2,4,8,16-18"}) {
    uint32_t* indices = nullptr;
    const uint32_t n = strnum2numarray(list, &indices);
    EXPECT_EQ(walk(list), std::vector<uint32_t>(indices, indices + n)) << list;
    free(indices);
  }
}

TEST(FileNames, SetNamesTakeTheIndexFromTheFirstQuestionMark) {
  const char* templates[4] = {"dir7/a???.wav", "take2_x.wav", nullptr, "out9/lf0_2_??"};
  char a[32], b[32], unused[] = "untouched", d[32];
  char* names[4] = {a, b, unused, d};
  uint32_t unfit = 99;
  EXPECT_EQ(replacesetindex(4, templates, 5, names, &unfit), 0);
  EXPECT_STREQ(a, "dir7/a005.wav");
  EXPECT_STREQ(b, "take5_x.wav");  // no '?': the first digit of the file-name part
  EXPECT_STREQ(unused, "untouched");
  EXPECT_STREQ(d, "out9/lf0_2_05");
  EXPECT_EQ(unfit, 99u);

  EXPECT_EQ(replacesetindex(4, templates, 12, names, &unfit), -1);
  EXPECT_EQ(unfit, 1u);
  EXPECT_STREQ(a, "dir7/a012.wav");
  EXPECT_STREQ(b, "take2_x.wav");    // the template as it was
  EXPECT_STREQ(d, "out9/lf0_2_05");  // not reached
  EXPECT_STREQ(templates[0], "dir7/a???.wav");

  const char* plain[1] = {"dir1/plain.wav"};
  EXPECT_EQ(replacesetindex(1, plain, 0, names, nullptr), -1);
  EXPECT_STREQ(a, "dir1/plain.wav");
}

struct visit {
  uint32_t index, unfit;
  std::vector<std::string> names;
  bool operator==(const visit& o) const { return index == o.index && unfit == o.unfit && names == o.names; }
};

void record(char* const* names, uint32_t index, uint32_t unfit, void* context) {
  auto* visits = static_cast<std::vector<visit>*>(context);
  std::vector<std::string> copies;
  for (uint32_t k = 0; k < 3; ++k) copies.push_back(names[k] ? names[k] : "(none)");
  visits->push_back({index, unfit, copies});
}

TEST(FileNames, EverySetOfTheListIsNamedFromTheTemplates) {
  const char* templates[3] = {"w/s?.wav", nullptr, "o/out_??"};
  std::vector<visit> visits;
  EXPECT_EQ(strnumforeachset("1-2,9-10", 3, templates, record, &visits), 0);
  const std::vector<visit> expected = {{1, 3, {"w/s1.wav", "(none)", "o/out_01"}},
                                       {2, 3, {"w/s2.wav", "(none)", "o/out_02"}},
                                       {9, 3, {"w/s9.wav", "(none)", "o/out_09"}},
                                       {10, 0, {"w/s?.wav", "(none)", "o/out_09"}}};
  EXPECT_EQ(visits, expected);

  const char* wide[3] = {"a/f??.wav", "b/g_?", "c/h_???"};
  visits.clear();
  EXPECT_EQ(strnumforeachset("99-100", 3, wide, record, &visits), 0);
  ASSERT_EQ(visits.size(), 2u);
  EXPECT_EQ(visits[0], (visit{99, 1, {"a/f99.wav", "b/g_?", "c/h_???"}}));
  EXPECT_EQ(visits[1].unfit, 0u);
  EXPECT_EQ(visits[1].names[0], "a/f??.wav");
}

}  // namespace
