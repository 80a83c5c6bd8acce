#include "engines/form_values.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engines/html_scan.h"

namespace trovelane {
namespace {

EngineDefinition EngineWith(std::initializer_list<const char*> names) {
  EngineDefinition engine;
  for (const char* name : names) {
    EngineParameter parameter;
    parameter.name = name;
    parameter.currentValue = "old";
    parameter.found = 1;
    engine.parameters.push_back(parameter);
  }
  return engine;
}

TEST(HarvestFormValuesTest, SetsParametersByFieldNameInAnyCase) {
  for (const char* page : {"<form><input type=hidden name=start value=20></form>",
                           "<INPUT NAME=\"START\" VALUE=\"20\">", "< input value=20 Name=Start>"}) {
    EngineDefinition engine = EngineWith({"start", "other"});
    HarvestFormValues(engine, page);
    EXPECT_EQ(engine.parameters[0].currentValue, "20") << page;
    EXPECT_EQ(engine.parameters[0].found, 1) << page;
    EXPECT_EQ(engine.parameters[1].found, 0) << page;  // cleared, not on the page
    EXPECT_EQ(engine.parameters[1].currentValue, "old") << page;
  }
}

TEST(HarvestFormValuesTest, ABareAttributeEndsTheTag) {
  EngineDefinition engine = EngineWith({"start"});
  HarvestFormValues(engine, "<input checked name=start value=20>");
  EXPECT_EQ(engine.parameters[0].found, 0);
  HarvestFormValues(engine, "<input name=start checked value=20>");
  EXPECT_EQ(engine.parameters[0].found, 1);
  EXPECT_EQ(engine.parameters[0].currentValue, "");  // VALUE was never read
}

TEST(HarvestFormValuesTest, EveryFieldCountsAndTheLaterWins) {
  EngineDefinition engine = EngineWith({"state", "cursor"});
  HarvestFormValues(engine,
                    "<form a><input name=state value=1></form>"
                    "<form b><input name=cursor value=abc><input name=STATE value=2></form>");
  EXPECT_EQ(engine.parameters[0].currentValue, "2");
  EXPECT_EQ(engine.parameters[1].currentValue, "abc");
}

TEST(HarvestFormValuesTest, TextAfterTheTagIsNoAttribute) {
  EngineDefinition engine = EngineWith({"more"});
  HarvestFormValues(engine, "<input type=submit>name=more value=1");
  EXPECT_EQ(engine.parameters[0].found, 0);
  HarvestFormValues(engine, "<input name=more value=\"next page\"><p>value=3");
  EXPECT_EQ(engine.parameters[0].currentValue, "next page");
}

TEST(HarvestFormValuesTest, OverlongFieldsAreSkippedAndTruncatedTagsReadAsFarAsTheyGo) {
  EngineDefinition engine = EngineWith({"token"});
  HarvestFormValues(engine,
                    "<input name=token value=" + std::string(kMaxFormFieldLength + 1, 'v') + ">");
  EXPECT_EQ(engine.parameters[0].found, 0);
  // A value the page cuts off is not read; the NAME alone sets an empty value.
  HarvestFormValues(engine, "<input name=token value=\"unterminated");
  EXPECT_EQ(engine.parameters[0].found, 1);
  EXPECT_EQ(engine.parameters[0].currentValue, "");
  HarvestFormValues(engine, "<input");
  EXPECT_EQ(engine.parameters[0].found, 0);
}

// The harvest against a plain reading of each INPUT tag with
// ParseTagAttribute, over tags that never end and values that run on.
TEST(HarvestFormValuesTest, AgreesWithAPlainReadingOfEachTag) {
  auto reference = [](EngineDefinition& engine, std::string_view page) {
    for (EngineParameter& p : engine.parameters) p.found = 0;
    std::string name, value;
    for (std::size_t pos = 0; pos < page.size();) {
      const std::size_t tag = IsInputTag(page.substr(pos));
      if (tag == 0) {
        ++pos;
        continue;
      }
      std::string fieldName, fieldValue;
      pos += tag;
      for (;;) {
        std::size_t next = pos;
        while (next < page.size() && IsAsciiBlank(page[next])) ++next;
        if (next < page.size() && (page[next] == '>' || page[next] == '<')) break;
        const std::size_t used = ParseTagAttribute(page.substr(next), name, value);
        if (used == 0) break;
        pos = next + used;
        if (EqualsNoCase(name, "NAME")) fieldName = value;
        if (EqualsNoCase(name, "VALUE")) fieldValue = value;
      }
      if (fieldName.empty()) continue;
      for (EngineParameter& p : engine.parameters) {
        if (EqualsNoCase(p.name, fieldName)) {
          p.currentValue = fieldValue;
          p.found = 1;
        }
      }
    }
  };
  const char* pieces[] = {"<input", "<INPUTx", "< input ", "name=", "NAME=\"", "value=", "\"",
                          "start", "q", " ", ">", "=", "10", "checked ", "<"};
  std::mt19937 random(3);
  for (int round = 0; round < 4000; ++round) {
    std::string page;
    for (int n = random() % 24; n > 0; --n) page += pieces[random() % std::size(pieces)];
    EngineDefinition harvested = EngineWith({"start", "q"});
    EngineDefinition expected = EngineWith({"start", "q"});
    HarvestFormValues(harvested, page);
    reference(expected, page);
    for (size_t i = 0; i < 2; ++i) {
      ASSERT_EQ(harvested.parameters[i].found, expected.parameters[i].found) << page;
      if (expected.parameters[i].found) {
        ASSERT_EQ(harvested.parameters[i].currentValue, expected.parameters[i].currentValue) << page;
      }
    }
  }
}

}  // namespace
}  // namespace trovelane
