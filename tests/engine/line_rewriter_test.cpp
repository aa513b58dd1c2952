#include "line_rewriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures.h"

namespace kestrel {
namespace {

using namespace std::string_literals;

struct RewriteCase {
  const char* name;
  std::vector<std::string> in;   // consecutive lines through one rewriter
  std::vector<std::string> out;  // what each line becomes; none: each stays as it is
};

void PrintTo(const RewriteCase& c, std::ostream* os) { *os << c.name; }

using namespace test;
const std::string kFar(40000, ' ');  // beyond what 16 bits count

const RewriteCase kCases[] = {
    {"ContinuationsTakeTheBracketOfTheFirstLine", {kRoute, kNext, kNext}, {kRouteOut, kNextOut, kNextOut}},
    {"EveryInterfaceFamilyMatches",
     {"a, GigaEthernet0, t", "a, FastEthernet0, t", "a, Tunnel0, t", "a, Loopback0, t", "a, VirtualTemplate0, t"},
     {"a, t, GigaEthernet0", "a, t, FastEthernet0", "a, t, Tunnel0", "a, t, Loopback0", "a, t, VirtualTemplate0"}},
    {"LinesThatDoNotMatchPassUnchanged",
     {"Codes: C - connected, S - static", "", ",", ",,", ",,,", "a, BVI1, t", "a, gigaEthernet0, t",
      "a,GigaEthernet0, t", "a, Gig, t", "a,  Giga, t", "     10.0.0.0/8 is variably subnetted, 6 subnets, 3 masks"},
     {}},
    {"FieldsBeyondTheThirdKeepTheirPlaces",
     {"a, Giga1, t1, x", "a, Giga1, t1,, y,", "a, Giga, "},
     {"a, t1, Giga1, x", "a, t1, Giga1,, y,", "a, , Giga"}},
    {"UnmatchedLinesDoNotDisturbTheRememberedHead",
     {kRoute, "Codes: C - connected, S - static", "x, BVI1, t", kNext},
     {kRouteOut, "Codes: C - connected, S - static", "x, BVI1, t", kNextOut}},
    {"ARouteOnAnotherInterfaceStillLendsItsBracket",
     {kRoute, "B       10.4.0.0/16 [20/10] via 172.16.1.254, BVI1, 1d02h",
      std::string(28, ' ') + "via 10.9.9.9, BVI2, t", kNext},
     {kRouteOut, "B       10.4.0.0/16 [20/10] via 172.16.1.254, BVI1, 1d02h",
      std::string(28, ' ') + "via 10.9.9.9, BVI2, t", std::string(20, ' ') + "[20/10]" + kNextOut.substr(27)}},
    {"ConnectedRouteSwapsOnlyAndIsNeverFollowedByAContinuation",
     {"C 10.0.0.0/24 is directly connected, Loopback0.0, 1:02:03", kNext},
     {"C 10.0.0.0/24 is directly connected, 1:02:03, Loopback0.0",
      std::string(28, ' ') + "via 192.168.0.2, 0:01:02, GigaEthernet1.0"}},
    {"ViaInAnotherColumnStartsANewRoute",
     {kRoute, std::string(27, ' ') + "via 1.1.1.1, Giga1, t", std::string(27, ' ') + "via 2.2.2.2, Giga2, t"},
     {kRouteOut, std::string(27, ' ') + "via 1.1.1.1, t, Giga1", std::string(27, ' ') + "via 2.2.2.2, t, Giga2"}},
    {"TextBeforeTheViaColumnStartsANewRoute",
     {kRoute, "O       10.2.0.0/16 [110/9] via 10.0.0.1, Giga0, t", kNext},
     {kRouteOut, "O       10.2.0.0/16 [110/9] via 10.0.0.1, t, Giga0",
      std::string(20, ' ') + "[110/9] via 192.168.0.2, 0:01:02, GigaEthernet1.0"}},
    {"HeadWithoutBracketGivesSwapOnly",
     {"S       10.0.0.0/8 via 10.0.0.1, Giga0, t", std::string(18, ' ') + "via 10.0.0.2, Giga1, t"},
     {"S       10.0.0.0/8 via 10.0.0.1, t, Giga0", std::string(18, ' ') + "via 10.0.0.2, t, Giga1"}},
    {"FirstBracketOfTheHeadIsCopied",
     {"O [1/0] [2/0] via 1.1.1.1, Giga0, t", "              via 2.2.2.2, Giga1, t"},
     {"O [1/0] [2/0] via 1.1.1.1, t, Giga0", "  [1/0] [2/0] via 2.2.2.2, t, Giga1"}},
    {"HeadNotBlankInItsFirstColumnStartsANewRoute",
     {kRoute, "X" + kNext.substr(1)},
     {kRouteOut, "X" + std::string(27, ' ') + "via 192.168.0.2, 0:01:02, GigaEthernet1.0"}},
    {"TheHeadsFirstViaIsTheColumn",
     {"Ov [1/0] via a via 1.1.1.1, Giga0, t", "         via 2.2.2.2, Giga1, t"},
     {"Ov [1/0] via a via 1.1.1.1, t, Giga0", "   [1/0] via 2.2.2.2, t, Giga1"}},
    {"BracketBeyondTheViaColumnGivesSwapOnly",
     {"X via 1.1.1.1 [1/0], Giga0, t", "  via 2.2.2.2, Giga1, t"},
     {"X via 1.1.1.1 [1/0], t, Giga0", "  via 2.2.2.2, t, Giga1"}},
    {"BytesOutsideTheLayoutPassThrough",
     {"O\0\x82\xa0 [1/0] via 1.1.1.1, Giga\xff\x00, \x93\xfa"s, "           via 2.2.2.2, Tunn\x82\xa0, t\0"s},
     {"O\0\x82\xa0 [1/0] via 1.1.1.1, \x93\xfa, Giga\xff\x00"s, "     [1/0] via 2.2.2.2, t\0, Tunn\x82\xa0"s}},
    {"ViaFarBeyondSixteenBitColumnsStillLinesUp",
     {"O" + kFar + "[1/0] via 1.1.1.1, Giga0, t", kFar + "       via 2.2.2.2, Giga1, t"},
     {"O" + kFar + "[1/0] via 1.1.1.1, t, Giga0", kFar + " [1/0] via 2.2.2.2, t, Giga1"}},
};

class RewriteTest : public ::testing::TestWithParam<RewriteCase> {};

// Each line is rewritten into a copy and in place, and, as a run rewrites
// it, from its block's marks, made in each way the processor has.
TEST_P(RewriteTest, RewritesEachLineIntoACopyInPlaceAndFromMarks) {
  const RewriteCase& c = GetParam();
  const std::vector<std::string>& out = c.out.empty() ? c.in : c.out;
  ASSERT_EQ(c.in.size(), out.size());
  LineRewriter copying, inPlace, marked[std::size(kMarkSteps)];
  for (std::size_t i = 0; i < c.in.size(); ++i) {
    EXPECT_EQ(copying.ConvertLine(c.in[i]), out[i]) << "line " << i;
    std::string line = c.in[i];
    inPlace.ConvertLine(line, line.data());
    EXPECT_EQ(line, out[i]) << "line " << i << " in place";
    for (std::size_t s = 0; s < std::size(kMarkSteps); ++s) {
      if (!ForceMarkStep(kMarkSteps[s])) continue;
      std::string block = c.in[i] + std::string(64, '-'), rewritten(block.size() + 16, '\0');
      BlockMarks marks;
      marks.Mark(block.data(), c.in[i].size());
      marked[s].ConvertLine({block.data(), c.in[i].size()}, rewritten.data(), {marks.comma.data(), marks.v.data(), 0});
      EXPECT_EQ(rewritten.substr(0, c.in[i].size()), out[i]) << "line " << i << " from marks, way " << s;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, RewriteTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrel
