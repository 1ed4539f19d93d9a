// Translating the JSON schemas BRELL sends into the on-device model's plan: names,
// field order, optional fields and every refusal.
#include <gtest/gtest.h>

#include "BrellCore/ai/OnDeviceModel.h"
#include "BrellCore/ai/OnDeviceSchemaPlan.h"
#include "BrellMemory/recall/MomentFinder.h"

namespace brell {
namespace {

using Plan = OnDeviceSchemaPlan;
using Field = OnDeviceSchemaPlan::Field;

Plan::Made made(const char* schema, const std::string& name = "BrellAnswer") {
    return Plan::make(Json::parse(schema), name);
}

TEST(OnDeviceSchemaPlanTest, TranslatesTheSubsetBrellUses) {
    struct Case {
        const char* name;
        const char* schema;
        Plan::Made expected;
    };
    const Case cases[] = {
        {"nullable type list", R"({"type":["string","null"]})", {Plan::string(), true}},
        {"null listed first", R"({"type":["null","integer"]})", {Plan::integer(), true}},
        {"anyOf with null", R"({"anyOf":[{"type":"string"},{"type":"null"}]})", {Plan::string(), true}},
        {"anyOf of one", R"({"anyOf":[{"type":["number","null"]}]})", {Plan::number(), false}},
        {"enum", R"({"type":"string","enum":["a","b"]})", {Plan::choice("BrellAnswer", {"a", "b"}), false}},
        {"empty enum", R"({"type":"string","enum":[]})", {Plan::string(), false}},
        {"enum of numbers", R"({"type":"string","enum":[1,2]})", {Plan::string(), false}},
        {"boolean", R"({"type":"boolean","description":"ignored here"})", {Plan::boolean(), false}},
        {"array with max",
         R"({"type":"array","items":{"type":"integer"},"maxItems":3})",
         {Plan::array(Plan::integer(), 3), false}},
        {"array with fractional max",
         R"({"type":"array","items":{"type":"integer"},"maxItems":3.5})",
         {Plan::array(Plan::integer(), std::nullopt), false}},
        {"anyOf not of dictionaries read by type", R"({"anyOf":[1,2],"type":"string"})", {Plan::string(), false}},
        {"two alternatives",
         R"({"anyOf":[{"type":"string"},{"type":"object","properties":{"x":{"type":"integer"}}},{"type":"null"}]})",
         {Plan::oneOf("BrellAnswer", {Plan::string(), Plan::object("BrellAnswerOption2",
                                                                   {Field{"x", std::nullopt, Plan::integer(), true}})}),
          true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(made(c.schema), c.expected);
    }
}

TEST(OnDeviceSchemaPlanTest, ObjectFieldsComeRequiredFirstThenSorted) {
    auto result = made(R"({"type":"object","properties":{"b":{"type":"string"},"a":{"type":"string",
        "description":"the a"},"c":{"type":"boolean"}},"required":["c","missing"]})");
    EXPECT_EQ(result.plan, Plan::object("BrellAnswer", {Field{"c", std::nullopt, Plan::boolean(), false},
                                                        Field{"a", "the a", Plan::string(), true},
                                                        Field{"b", std::nullopt, Plan::string(), true}}));
}

TEST(OnDeviceSchemaPlanTest, NestedShapesAreNamedAfterTheirParents) {
    auto result = made(R"({"type":"object","required":["items","pick"],"properties":{
        "items":{"type":"array","items":{"type":"object","properties":{"kind":{"type":"string","enum":["x"]}}}},
        "pick":{"anyOf":[{"type":"string","enum":["p"]},{"type":"string","enum":["q"]}]}}})");
    EXPECT_EQ(
        result.plan,
        Plan::object("BrellAnswer",
                     {Field{"items", std::nullopt,
                            Plan::array(Plan::object("BrellAnswerItemsItem",
                                                     {Field{"kind", std::nullopt,
                                                            Plan::choice("BrellAnswerItemsItemKind", {"x"}), true}}),
                                        std::nullopt),
                            false},
                      Field{"pick", std::nullopt,
                            Plan::oneOf("BrellAnswerPick", {Plan::choice("BrellAnswerPickOption1", {"p"}),
                                                            Plan::choice("BrellAnswerPickOption2", {"q"})}),
                            false}}));
}

TEST(OnDeviceSchemaPlanTest, RefusesWhatItCannotTranslate) {
    struct Case {
        const char* schema;
        const char* part;
    };
    const Case cases[] = {
        {R"({"type":["null"]})", "missing type"},
        {R"({})", "missing type"},
        {R"({"type":5})", "missing type"},
        {R"({"type":["string",5]})", "missing type"},
        {R"({"type":"array"})", "array without items"},
        {R"({"type":"array","items":[{"type":"string"}]})", "array without items"},
        {R"({"anyOf":[{"type":"null"}]})", "anyOf"},
        {R"({"anyOf":[]})", "anyOf"},
        {R"({"type":"object","properties":{"fine":{"type":"string"},"broken":true}})", "broken"},
        {R"({"type":"object","properties":{"deep":{"type":"object","properties":{"x":{"type":"date"}}}}})", "date"},
        {R"({"type":"tuple"})", "tuple"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.schema);
        try {
            made(c.schema);
            ADD_FAILURE() << "translated";
        } catch (const Plan::Failure& f) {
            EXPECT_EQ(f.unsupportedPart(), c.part);
        }
    }
}

TEST(OnDeviceSchemaPlanTest, EverySchemaBrellSendsTranslates) {
    // The moments schema; the explanation schema is checked beside the explainer.
    EXPECT_NO_THROW(Plan::make(MomentFinder::schema(), "BrellAnswer"));
}

TEST(OnDeviceModelConverterTest, DescribesTheGenerationSchema) {
    Plan plan = Plan::object(
        "BrellAnswer", {Field{"explanation", "what it means", Plan::string(), false},
                        Field{"tags", std::nullopt, Plan::array(Plan::choice("T", {"a"}), 2), true},
                        Field{"either", std::nullopt, Plan::oneOf("E", {Plan::integer(), Plan::boolean()}), true}});
    EXPECT_EQ(OnDeviceModel::Converter::build(plan).dump(),
              R"({"kind":"object","name":"BrellAnswer","properties":[)"
              R"({"name":"explanation","description":"what it means","schema":{"kind":"string"},"optional":false},)"
              R"({"name":"tags","description":null,"schema":{"kind":"array","element":{"kind":"choice","name":"T",)"
              R"("values":["a"]},"maximumCount":2},"optional":true},)"
              R"({"name":"either","description":null,"schema":{"kind":"anyOf","name":"E","choices":[{"kind":)"
              R"("integer"},{"kind":"boolean"}]},"optional":true}]})");
}

} // namespace
} // namespace brell
