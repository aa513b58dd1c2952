#include "line_rewriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

using namespace std::string_literals;

struct RewriteCase {
  const char* name;
  std::vector<std::string> in;   // consecutive lines through one rewriter
  std::vector<std::string> out;  // what each line becomes
};

void PrintTo(const RewriteCase& c, std::ostream* os) { *os << c.name; }

const std::string kA = "O       10.1.0.0/16 [110/2] via 192.168.0.1, GigaEthernet0.0, 0:01:02";
const std::string kB = std::string(28, ' ') + "via 192.168.0.2, GigaEthernet1.0, 0:01:02";

const RewriteCase kCases[] = {
    {"MultipathRouteGetsBracketOfFirstLine",
     {kA, kB},
     {"O       10.1.0.0/16 [110/2] via 192.168.0.1, 0:01:02, GigaEthernet0.0",
      std::string(20, ' ') + "[110/2] via 192.168.0.2, 0:01:02, GigaEthernet1.0"}},
    {"ConsecutiveContinuationsShareOneBracket",
     {kA, kB, kB},
     {"O       10.1.0.0/16 [110/2] via 192.168.0.1, 0:01:02, GigaEthernet0.0",
      std::string(20, ' ') + "[110/2] via 192.168.0.2, 0:01:02, GigaEthernet1.0",
      std::string(20, ' ') + "[110/2] via 192.168.0.2, 0:01:02, GigaEthernet1.0"}},
    {"ConnectedRouteSwapsOnly",
     {"C 10.0.0.0/24 is directly connected, Loopback0.0, 1:02:03"},
     {"C 10.0.0.0/24 is directly connected, 1:02:03, Loopback0.0"}},
    {"EveryInterfaceFamilyMatches",
     {"a, GigaEthernet0, t", "a, FastEthernet0, t", "a, Tunnel0, t", "a, Loopback0, t", "a, VirtualTemplate0, t"},
     {"a, t, GigaEthernet0", "a, t, FastEthernet0", "a, t, Tunnel0", "a, t, Loopback0", "a, t, VirtualTemplate0"}},
    {"LinesThatDoNotMatchPassUnchanged",
     {"Codes: C - connected, S - static", "", ",", ",,", ",,,", "a, BVI1, t", "a, gigaEthernet0, t",
      "a,GigaEthernet0, t", "a, Gig, t", "a,  Giga, t", "     10.0.0.0/8 is variably subnetted, 6 subnets, 3 masks"},
     {"Codes: C - connected, S - static", "", ",", ",,", ",,,", "a, BVI1, t", "a, gigaEthernet0, t",
      "a,GigaEthernet0, t", "a, Gig, t", "a,  Giga, t", "     10.0.0.0/8 is variably subnetted, 6 subnets, 3 masks"}},
    {"FieldsBeyondTheThirdKeepTheirPlaces",
     {"a, Giga1, t1, x", "a, Giga1, t1,, y,", "a, Giga, "},
     {"a, t1, Giga1, x", "a, t1, Giga1,, y,", "a, , Giga"}},
    {"UnmatchedLinesDoNotDisturbTheRememberedHead",
     {kA, "Codes: C - connected, S - static", "x, BVI1, t", kB},
     {"O       10.1.0.0/16 [110/2] via 192.168.0.1, 0:01:02, GigaEthernet0.0", "Codes: C - connected, S - static",
      "x, BVI1, t", std::string(20, ' ') + "[110/2] via 192.168.0.2, 0:01:02, GigaEthernet1.0"}},
    {"HeadWithoutViaIsNeverFollowedByAContinuation",
     {"C 10.0.0.0/24 is directly connected, Loopback0.0, 1:02:03", kB},
     {"C 10.0.0.0/24 is directly connected, 1:02:03, Loopback0.0",
      std::string(28, ' ') + "via 192.168.0.2, 0:01:02, GigaEthernet1.0"}},
    {"ViaInAnotherColumnStartsANewRoute",
     {kA, std::string(27, ' ') + "via 1.1.1.1, Giga1, t", std::string(27, ' ') + "via 2.2.2.2, Giga2, t"},
     {"O       10.1.0.0/16 [110/2] via 192.168.0.1, 0:01:02, GigaEthernet0.0",
      std::string(27, ' ') + "via 1.1.1.1, t, Giga1", std::string(27, ' ') + "via 2.2.2.2, t, Giga2"}},
    {"TextBeforeTheViaColumnStartsANewRoute",
     {kA, "O       10.2.0.0/16 [110/9] via 10.0.0.1, Giga0, t", kB},
     {"O       10.1.0.0/16 [110/2] via 192.168.0.1, 0:01:02, GigaEthernet0.0",
      "O       10.2.0.0/16 [110/9] via 10.0.0.1, t, Giga0",
      std::string(20, ' ') + "[110/9] via 192.168.0.2, 0:01:02, GigaEthernet1.0"}},
    {"HeadWithoutBracketGivesSwapOnly",
     {"S       10.0.0.0/8 via 10.0.0.1, Giga0, t", std::string(18, ' ') + "via 10.0.0.2, Giga1, t"},
     {"S       10.0.0.0/8 via 10.0.0.1, t, Giga0", std::string(18, ' ') + "via 10.0.0.2, t, Giga1"}},
    {"FirstBracketOfTheHeadIsCopied",
     {"O [1/0] [2/0] via 1.1.1.1, Giga0, t", "              via 2.2.2.2, Giga1, t"},
     {"O [1/0] [2/0] via 1.1.1.1, t, Giga0", "  [1/0] [2/0] via 2.2.2.2, t, Giga1"}},
    {"HeadNotBlankInItsFirstColumnStartsANewRoute",
     {kA, "X" + kB.substr(1)},
     {"O       10.1.0.0/16 [110/2] via 192.168.0.1, 0:01:02, GigaEthernet0.0",
      "X" + std::string(27, ' ') + "via 192.168.0.2, 0:01:02, GigaEthernet1.0"}},
    {"BracketBeyondTheViaColumnGivesSwapOnly",
     {"X via 1.1.1.1 [1/0], Giga0, t", "  via 2.2.2.2, Giga1, t"},
     {"X via 1.1.1.1 [1/0], t, Giga0", "  via 2.2.2.2, t, Giga1"}},
    {"BytesOutsideTheLayoutPassThrough",
     {"O\0\x82\xa0 [1/0] via 1.1.1.1, Giga\xff\x00, \x93\xfa"s, "           via 2.2.2.2, Tunn\x82\xa0, t\0"s},
     {"O\0\x82\xa0 [1/0] via 1.1.1.1, \x93\xfa, Giga\xff\x00"s, "     [1/0] via 2.2.2.2, t\0, Tunn\x82\xa0"s}},
};

class RewriteTest : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(RewriteTest, RewritesEachLineIntoACopyAndInPlace) {
  const RewriteCase& c = GetParam();
  ASSERT_EQ(c.in.size(), c.out.size());
  LineRewriter copying, inPlace;
  for (std::size_t i = 0; i < c.in.size(); ++i) {
    EXPECT_EQ(copying.ConvertLine(c.in[i]), c.out[i]) << "line " << i;
    std::string line = c.in[i];
    inPlace.ConvertLine(line, line.data());
    EXPECT_EQ(line, c.out[i]) << "line " << i << " in place";
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, RewriteTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RouteHeadTest, ViaFarBeyondSixteenBitColumnsStillLinesUp) {
  const std::string pad(40000, ' ');
  LineRewriter rewriter;
  rewriter.ConvertLine("O" + pad + "[1/0] via 1.1.1.1, Giga0, t");
  const std::string got = rewriter.ConvertLine(std::string(pad.size() + 7, ' ') + "via 2.2.2.2, Giga1, t");
  EXPECT_EQ(got, std::string(pad.size() + 1, ' ') + "[1/0] via 2.2.2.2, t, Giga1");
}

}  // namespace
}  // namespace kestrel
