// The PJL texts: requests byte for byte, value checks, the model look-up and the reader of an
// INFO VARIABLES answer.
#include "device_client/pjl/pjl_text.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

TEST(PjlRequests, BidirectionalAndPassThroughCommandsByPort) {
  struct Case {
    int port;
    const char* bidirectional;
    const char* passThrough;
  } cases[] = {
      {1, "9500: P10000Am I a bidirectional printer?\n", "9601: P100004142\n"},
      {2, "9500: P20000Am I a bidirectional printer?\n", "9601: P200004142\n"},
      {3, "9500: P30000Am I a bidirectional printer?\n", "9601: P300004142\n"},
      {101, "9500: SP0000Am I a bidirectional printer?\n", "9601: SP00004142\n"},
      {0, "", ""},
      {4, "", ""},
      {100, "", ""},
      {-1, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    EXPECT_EQ(pjl::BidirectionalRequest(c.port), c.bidirectional);
    EXPECT_EQ(pjl::PassThroughRequest(c.port, "4142"), c.passThrough);
  }
}

TEST(PjlRequests, FramedTextsCarryTheExitSequenceAndBlanks) {
  EXPECT_EQ(pjl::FrameInfoVariables(),
            "\x1b%-12345X@PJL\r\n@PJL INFO VARIABLES\r\n\x1b%-12345X");
  EXPECT_EQ(pjl::FrameDefault("LPARM:PCL PITCH", "10.00"),
            "\x1b%-12345X@PJL\r\n@PJL DEFAULT LPARM:PCL PITCH = 10.00 \r\n"
            "@PJL ECHO \"echo\" \r\n\x1b%-12345X");
}

TEST(PjlRequests, ValuesThatCouldBreakTheJobAreRefused) {
  struct Case {
    std::string value;
    bool ok;
  } cases[] = {
      {"LETTER", true},
      {"10.00", true},
      {"A B", true},
      {std::string(255, '9'), true},
      {"", false},
      {std::string(256, '9'), false},
      {"1\r\n@PJL RESET", false},
      {"1\n", false},
      {"1\r", false},
      {"\x1b%-12345X", false},
      {"\"x\"", false},
      {"tab\there", false},
      {"del\x7f", false},
      {"nul\0x"s, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(pjl::IsAcceptableValue(c.value), c.ok);
  }
}

TEST(PjlRequests, VariableTableHoldsEachIndexOnceAndSkipsThree) {
  std::set<int> indexes;
  std::set<std::string> names;
  for (const pjl::VariableName& row : pjl::kVariableTable) {
    indexes.insert(row.index);
    names.insert(row.name);
  }
  EXPECT_EQ(indexes.size(), 28u);
  EXPECT_EQ(names.size(), 28u);
  EXPECT_EQ(indexes.count(3), 0u);
  EXPECT_EQ(*indexes.begin(), 0);
  EXPECT_EQ(*indexes.rbegin(), 28);
  EXPECT_STREQ(pjl::kVariableTable[0].name, "AUTOCONT");
  EXPECT_STREQ(pjl::kVariableTable[27].name, "LPARM:POSTSCRIPT PRTPSERRS");
}

TEST(PjlDeviceId, ModelKeysInTheirOrder) {
  struct Case {
    const char* id;
    const char* model;
  } cases[] = {
      {"MFG:X;MODEL:Laser 4;", "Laser 4"},
      {"MDL:ABC", "ABC"},
      {"mfg:y;mdl:Small One;cmd:PJL;", "Small One"},
      {"model:lower;", "lower"},
      {"MDL:short;MODEL:long;", "long"},  // MODEL: is tried before MDL:
      {"MFG:X;CMD:PJL;", ""},
      {"", ""},
      {"MODEL:", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(pjl::ModelFromDeviceId(c.id), c.model);
  }
}

// A parsed variable as one line of text: name|value|type|readOnly|language|choice,choice.
std::string Describe(const pjl::ParsedVariable& v) {
  std::string s = v.name + "|" + v.value + "|" + std::to_string(v.valueType) + "|" +
                  std::to_string(v.readOnly) + "|" + v.language + "|";
  for (std::size_t i = 0; i < v.choices.size(); ++i) s += (i ? "," : "") + v.choices[i];
  return s;
}

struct ParseCase {
  const char* label;
  std::string answer;
  std::vector<std::string> expected;
  bool notAvailable = false;
};

class PjlAnswerParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(PjlAnswerParse, ReadsEntries) {
  const ParseCase& c = GetParam();
  pjl::ParseResult result;
  ASSERT_EQ(pjl::ParseVariableEntries(c.answer, result), 0);
  std::vector<std::string> got;
  for (const auto& v : result.variables) got.push_back(Describe(v));
  EXPECT_EQ(got, c.expected);
  EXPECT_EQ(result.notAvailable, c.notAvailable);
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, PjlAnswerParse,
    ::testing::Values(
        ParseCase{"range",
                  "@PJL INFO VARIABLES\r\nCOPIES=1 [2 RANGE]\r\n\t1\r\n\t999\r\n\f",
                  {"COPIES|1|1|0||1,999"}},
        ParseCase{"enumerated_readonly_lparm",
                  "PJL INFO VARIABLES\r\nLPARM:PCL SYMSET=ROMAN8 [4 ENUMERATED READONLY]\r\n"
                  "\tROMAN8\r\n\tPC8\r\n\tISOL1\r\n\tPC850\r\n\f",
                  {"LPARM:PCL SYMSET|ROMAN8|2|1|PCL|ROMAN8,PC8,ISOL1,PC850"}},
        ParseCase{"entry_of_no_kind_ends_reading",
                  "PJL INFO VARIABLES\nCOPIES=1 [2 RANGE]\n\t1\n\t9\nODD=1 [1 STRING]\n\tx\n"
                  "PAPER=A4 [2 ENUMERATED]\n\tA4\n\tLETTER\n\f",
                  {"COPIES|1|1|0||1,9"}},
        ParseCase{"kind_word_inside_the_value_does_not_count",
                  "PJL INFO VARIABLES\nPAPER=RANGEX [2 ENUMERATED]\n\tRANGEX\n\tA4\n"
                  "X=ENUMERATED [2 RANGE]\n\t1\n\t2\n\f",
                  {"PAPER|RANGEX|2|0||RANGEX,A4", "X|ENUMERATED|1|0||1,2"}},
        ParseCase{"unknown_names_are_kept_for_the_caller_to_skip",
                  "PJL INFO VARIABLES\nFOO=1 [2 RANGE]\n\t0\n\t5\nCOPIES=2 [2 RANGE]\n\t1\n\t9\n\f",
                  {"FOO|1|1|0||0,5", "COPIES|2|1|0||1,9"}},
        ParseCase{"blank_indent_only_directly_under_the_entry",
                  "PJL INFO VARIABLES\nPAPER=A4 [3 ENUMERATED]\n   A4\n\tLETTER\n  LEGAL\n"
                  "COPIES=3 [2 RANGE]\n\t1\n\t99\n\f",
                  {"PAPER|A4|2|0||A4,LETTER", "COPIES|3|1|0||1,99"}},
        ParseCase{"answer_ends_inside_entry_line",
                  "PJL INFO VARIABLES\r\nCOPIES=1 [2 RANGE]",
                  {}},
        ParseCase{"answer_ends_inside_value_line",
                  "PJL INFO VARIABLES\nAUTOCONT=ON [2 ENUMERATED]\n\tOFF\n\tON\n"
                  "COPIES=1 [2 RANGE]\n\t1\n\t99",
                  {"AUTOCONT|ON|2|0||OFF,ON"}},
        ParseCase{"value_line_ended_by_nul",
                  "PJL INFO VARIABLES\nCOPIES=1 [2 RANGE]\n\t1\n\t99\0trailing\n"s,
                  {"COPIES|1|1|0||1,99"}},
        ParseCase{"form_feed_ends_the_answer",
                  "PJL INFO VARIABLES\nCOPIES=1 [2 RANGE]\n\t1\n\t99\fPAPER=A4 [1 ENUMERATED]\n"
                  "\tA4\n\f",
                  {"COPIES|1|1|0||1,99"}},
        ParseCase{"lines_without_equals_are_skipped",
                  "PJL INFO VARIABLES\n\n   \n=A [1 ENUMERATED]\nnoise\nRET=MEDIUM [4 ENUMERATED]\n"
                  "\tOFF\n\tLIGHT\n\tMEDIUM\n\tDARK\n\f",
                  {"RET|MEDIUM|2|0||OFF,LIGHT,MEDIUM,DARK"}},
        ParseCase{"entry_without_values",
                  "PJL INFO VARIABLES\nTIMEOUT=15 [2 RANGE]\nCOPIES=1 [2 RANGE]\n\t1\n\t9\n\f",
                  {"TIMEOUT|15|1|0||", "COPIES|1|1|0||1,9"}},
        ParseCase{"last_entry_line_ended_by_form_feed",
                  "PJL INFO VARIABLES\nTIMEOUT=15 [2 RANGE]\f\t1\n",
                  {"TIMEOUT|15|1|0||"}},
        ParseCase{"no_information",
                  "PJL INFO VARIABLES\r\n\"?\"\r\n\f",
                  {},
                  true}),
    [](const ::testing::TestParamInfo<ParseCase>& p) { return std::string(p.param.label); });

TEST(PjlAnswerParseLimits, ExtractTokenStopsAtItsCharacterOrTheEnd) {
  const struct {
    const char* text;
    std::size_t start;
    char stop;
    const char* token;
  } cases[] = {
      {"COPIES=1 [2 RANGE]", 7, ' ', "1"},
      {"COPIES=1", 7, ' ', "1"},            // the end of the text ends the token
      {"COPIES= [2 RANGE]", 7, ' ', ""},     // an empty value
      {"LPARM:PCL PITCH", 6, ' ', "PCL"},
      {"ABC", 3, ' ', ""},                  // start at the end
      {"ABC", 9, ' ', ""},                  // start past the end
      {"A;B", 0, ';', "A"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string token = "stale";
    EXPECT_EQ(pjl::ExtractToken(c.text, c.start, c.stop, token), 0);
    EXPECT_EQ(token, c.token);
  }
}

TEST(PjlAnswerParseLimits, EmptyTextIsRefused) {
  pjl::ParseResult result;
  EXPECT_EQ(pjl::ParseVariableEntries("", result), -2);
  EXPECT_TRUE(result.variables.empty());
}

TEST(PjlAnswerParseLimits, ChoicesAreBounded) {
  std::string answer = "PJL INFO VARIABLES\nPAPER=A [9999 ENUMERATED]\n";
  for (int i = 0; i < 1000; ++i) answer += "\tV" + std::to_string(i) + "\n";
  answer += "COPIES=1 [2 RANGE]\n\t1\n\t9\n\f";
  pjl::ParseResult result;
  ASSERT_EQ(pjl::ParseVariableEntries(answer, result), 0);
  ASSERT_EQ(result.variables.size(), 2u);
  EXPECT_EQ(result.variables[0].choices.size(), pjl::kMaxChoices);
  EXPECT_EQ(result.variables[0].choices.back(), "V" + std::to_string(pjl::kMaxChoices - 1));
  EXPECT_EQ(result.variables[1].name, "COPIES");
}

}  // namespace
