#include "engines/form_values.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace trovelane
