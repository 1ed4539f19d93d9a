// Reading a model's proposal, which is untrusted: every way a reply can be refused, and
// the verifier's reply applied to a draft.
#include <functional>

#include <gtest/gtest.h>

#include "BrellMemory/insights/CandidateValidation.h"

namespace brell {
namespace {

using Failure = CandidateValidation::Failure;

const TaskContext task{7, 12, 2, "Espresso", "Fix sour shots", "Dial in the grinder", "espresso"};

std::vector<Excerpt> pack() {
    std::vector<Excerpt> excerpts;
    for (int64_t chunk : {12, 40, 41, 50}) {
        excerpts.push_back(Excerpt{chunk, chunk, "s" + std::to_string(chunk), "transcript", "Video", "1:00",
                                   std::nullopt, "text", "capture"});
    }
    return excerpts;
}

Json reply() {
    return Json::parse(R"({
        "relationship": "diagnosis", "projectId": "p7", "taskId": "t12",
        "title": "  Grind two steps finer  ", "whyNow": "Sour shots point to under-extraction",
        "nextStep": "Pull one shot two steps finer and taste it", "expectedOutcome": "A sweeter shot",
        "uncertainty": "The beans may differ",
        "evidence": [{"chunkId": "c12", "role": "symptom", "claim": "Sour means under-extracted"},
                     {"chunkId": "c40", "role": "recommended_test", "claim": "Finer fixes it"}],
        "dedupeKey": "not read"})");
}

CandidateDraft parsed(const Json& candidate, bool proactive = true) {
    return CandidateValidation::parse(candidate, task, pack(), proactive);
}

TEST(CandidateValidationTest, AGoodReplyBecomesADraft) {
    CandidateDraft expected;
    expected.relationship = Relationship::diagnosis;
    expected.title = "Grind two steps finer";
    expected.whyNow = "Sour shots point to under-extraction";
    expected.nextStep = "Pull one shot two steps finer and taste it";
    expected.expectedOutcome = "A sweeter shot";
    expected.uncertainty = "The beans may differ";
    expected.evidence = {{12, "symptom", "Sour means under-extracted", std::nullopt},
                         {40, "recommended_test", "Finer fixes it", std::nullopt}};
    expected.origin = "model";
    EXPECT_EQ(parsed(reply()), expected);
}

TEST(CandidateValidationTest, RolesAreTheTwelveOfThePrompt) {
    EXPECT_EQ(CandidateValidation::roles.size(), 12u);
    for (auto role : CandidateValidation::roles) {
        Json candidate = reply();
        candidate["evidence"][0]["role"] = role;
        SCOPED_TRACE(role);
        EXPECT_EQ(parsed(candidate).evidence[0].role, role);
    }
}

struct Case {
    const char* name;
    std::function<void(Json&)> change;
    std::optional<Failure> failure; // nothing: the reply passes
    bool proactive = true;
};

void runCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Json candidate = reply();
        c.change(candidate);
        if (!c.failure) {
            EXPECT_NO_THROW(parsed(candidate, c.proactive));
            continue;
        }
        try {
            parsed(candidate, c.proactive);
            ADD_FAILURE() << "no failure";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure, *c.failure) << failure.what();
            EXPECT_STREQ(failure.what(), c.failure->what());
        }
    }
}

TEST(CandidateValidationTest, FieldsMustBePresentOfTheirKindAndShortEnough) {
    std::string x80(80, 'x');
    std::string e160;
    for (int i = 0; i < 160; ++i) {
        e160 += "e\u0301"; // one character of two code points
    }
    runCases({
        {"relationship missing", [](Json& j) { j.erase("relationship"); }, Failure::schema("relationship")},
        {"relationship unknown", [](Json& j) { j["relationship"] = "summary"; }, Failure::schema("relationship")},
        {"relationship in capitals", [](Json& j) { j["relationship"] = "Diagnosis"; }, Failure::schema("relationship")},
        {"relationship not text", [](Json& j) { j["relationship"] = 1; }, Failure::schema("relationship")},
        {"not an object at all", [](Json& j) { j = Json::array(); }, Failure::schema("relationship")},
        {"title missing", [](Json& j) { j.erase("title"); }, Failure::schema("title")},
        {"title null", [](Json& j) { j["title"] = nullptr; }, Failure::schema("title")},
        {"title blank", [](Json& j) { j["title"] = " \n\t "; }, Failure::schema("title")},
        {"title a list", [](Json& j) { j["title"] = Json::array({"a"}); }, Failure::schema("title")},
        {"title 80 characters inside spaces", [&](Json& j) { j["title"] = "  " + x80 + "\n"; }, std::nullopt},
        {"title 81 characters", [&](Json& j) { j["title"] = x80 + "y"; }, Failure::length("title")},
        {"whyNow missing", [](Json& j) { j.erase("whyNow"); }, Failure::schema("whyNow")},
        {"whyNow 161", [](Json& j) { j["whyNow"] = std::string(161, 'w'); }, Failure::length("whyNow")},
        {"nextStep 230 passes", [](Json& j) { j["nextStep"] = std::string(230, 'n'); }, std::nullopt},
        {"nextStep 231", [](Json& j) { j["nextStep"] = std::string(231, 'n'); }, Failure::length("nextStep")},
        {"nextStep a number", [](Json& j) { j["nextStep"] = 3; }, Failure::schema("nextStep")},
        {"expectedOutcome missing", [](Json& j) { j.erase("expectedOutcome"); }, std::nullopt},
        {"expectedOutcome 160 accented characters", [&](Json& j) { j["expectedOutcome"] = e160; }, std::nullopt},
        {"expectedOutcome 161", [&](Json& j) { j["expectedOutcome"] = e160 + "e"; },
         Failure::length("expectedOutcome")},
        {"expectedOutcome false", [](Json& j) { j["expectedOutcome"] = false; }, Failure::schema("expectedOutcome")},
        {"uncertainty a number", [](Json& j) { j["uncertainty"] = 5; }, Failure::schema("uncertainty")},
        {"uncertainty 201", [](Json& j) { j["uncertainty"] = std::string(201, 'u'); }, Failure::length("uncertainty")},
        {"the first problem wins",
         [](Json& j) {
             j["title"] = std::string(81, 't');
             j["whyNow"] = nullptr;
         },
         Failure::length("title")},
    });
}

TEST(CandidateValidationTest, OptionalTextsMayBeAbsentNullOrBlank) {
    for (const char* how : {"null", "missing", "blank"}) {
        SCOPED_TRACE(how);
        Json candidate = reply();
        if (std::string(how) == "null") {
            candidate["uncertainty"] = nullptr;
            candidate["expectedOutcome"] = nullptr;
        } else if (std::string(how) == "missing") {
            candidate.erase("uncertainty");
            candidate.erase("expectedOutcome");
        } else {
            candidate["uncertainty"] = "   ";
            candidate["expectedOutcome"] = "\n";
        }
        CandidateDraft draft = parsed(candidate);
        EXPECT_FALSE(draft.uncertainty);
        EXPECT_FALSE(draft.expectedOutcome);
    }
}

TEST(CandidateValidationTest, TheReplyMustBeForThisTask) {
    runCases({
        {"another task", [](Json& j) { j["taskId"] = "t13"; }, Failure::foreignTask()},
        {"another project", [](Json& j) { j["projectId"] = "p8"; }, Failure::foreignTask()},
        {"bare task number", [](Json& j) { j["taskId"] = "12"; }, Failure::foreignTask()},
        {"task as a number", [](Json& j) { j["taskId"] = 12; }, Failure::foreignTask()},
        {"project missing", [](Json& j) { j.erase("projectId"); }, Failure::foreignTask()},
        {"checked before the texts",
         [](Json& j) {
             j["taskId"] = "t1";
             j.erase("title");
         },
         Failure::foreignTask()},
    });
}

TEST(CandidateValidationTest, LinksCommandsAndSecretsAreRefused) {
    auto in = [](const char* key, std::string text) { return [key, text](Json& j) { j[key] = text; }; };
    runCases({
        {"a link in the outcome", in("expectedOutcome", "See https://example.com/fix"), Failure::unsafe()},
        {"a plain-http link in capitals", in("whyNow", "HTTP://EXAMPLE.COM"), Failure::unsafe()},
        {"chmod in the next step", in("nextStep", "Run chmod +x on the script"), Failure::unsafe()},
        {"Token in any case", in("uncertainty", "Your ToKeN may have expired"), Failure::unsafe()},
        {"password", in("title", "Reset the Password"), Failure::unsafe()},
        {"api key", in("whyNow", "The API key is wrong"), Failure::unsafe()},
        {"a code fence", in("nextStep", "Paste ```x```"), Failure::unsafe()},
        {"sudo", in("nextStep", "Try sudo reboot"), Failure::unsafe()},
        {"rm", in("nextStep", "Clear it with rm -r cache"), Failure::unsafe()},
        {"curl", in("nextStep", "Fetch it with curl the page"), Failure::unsafe()},
        {"a pipe to a shell", in("nextStep", "Pipe the script | sh"), Failure::unsafe()},
        {"a script tag", in("title", "<SCRIPT>alert(1)"), Failure::unsafe()},
        {"a javascript link", in("whyNow", "Open JavaScript:void(0)"), Failure::unsafe()},
        {"a link split by a zero-width space", in("nextStep", "Visit ht\u200Btps://evil.example"), Failure::unsafe()},
        {"a command with a tab after it", in("nextStep", "Try sudo\treboot"), Failure::unsafe()},
        {"a word with a soft hyphen", in("whyNow", "Rotate the to\u00ADken"), Failure::unsafe()},
        {"a link in a claim", [](Json& j) { j["evidence"][1]["claim"] = "Found at https://evil.example"; },
         Failure::unsafe()},
        {"a mark inside a longer word counts", in("nextStep", "Take notes on the curling tokens of wisdom"),
         Failure::unsafe()},
        {"harmless words really pass", in("nextStep", "Remove the portafilter and form a puck"), std::nullopt},
    });
}

TEST(CandidateValidationTest, EvidenceMustBeOfferedAllowedAndCounted) {
    auto cite = [](std::vector<std::string> ids) {
        return [ids](Json& j) {
            j["evidence"] = Json::array();
            for (const auto& id : ids) {
                j["evidence"].push_back({{"chunkId", id}, {"role", "context"}, {"claim", "c"}});
            }
        };
    };
    runCases({
        {"evidence missing", [](Json& j) { j.erase("evidence"); }, Failure::schema("evidence")},
        {"evidence an object", [](Json& j) { j["evidence"] = Json::object(); }, Failure::schema("evidence")},
        {"an entry that is not an object", [](Json& j) { j["evidence"].push_back("c50"); },
         Failure::schema("evidence")},
        {"a bare chunk number", [](Json& j) { j["evidence"][0]["chunkId"] = "12"; }, Failure::unknownID()},
        {"a chunk not in the pack", [](Json& j) { j["evidence"][1]["chunkId"] = "c13"; }, Failure::unknownID()},
        {"a chunk id as a number", [](Json& j) { j["evidence"][0]["chunkId"] = 12; }, Failure::unknownID()},
        {"a role not allowed", [](Json& j) { j["evidence"][0]["role"] = "summary"; }, Failure::schema("role")},
        {"a role missing", [](Json& j) { j["evidence"][0].erase("role"); }, Failure::schema("role")},
        {"an empty claim", [](Json& j) { j["evidence"][0]["claim"] = ""; }, Failure::length("claim")},
        {"a claim that is no text", [](Json& j) { j["evidence"][0]["claim"] = 1; }, Failure::length("claim")},
        {"a claim of 161", [](Json& j) { j["evidence"][0]["claim"] = std::string(161, 'c'); },
         Failure::length("claim")},
        {"a claim of 160", [](Json& j) { j["evidence"][0]["claim"] = std::string(160, 'c'); }, std::nullopt},
        {"c12 twice and c40 once", cite({"c12", "c12", "c40"}), std::nullopt},
        {"only c12, twice", cite({"c12", "c12"}), Failure::evidenceCount()},
        {"one passage when asked", cite({"c12"}), std::nullopt, false},
        {"no passage when asked", cite({}), Failure::evidenceCount(), false},
        {"three distinct", cite({"c12", "c40", "c41"}), std::nullopt},
        {"four distinct", cite({"c12", "c40", "c41", "c50"}), Failure::evidenceCount()},
        {"four distinct when asked", cite({"c12", "c40", "c41", "c50"}), Failure::evidenceCount(), false},
        {"five entries, three distinct", cite({"c12", "c40", "c12", "c41", "c40"}), std::nullopt},
        {"a bad repeat is still refused",
         [](Json& j) {
             j["evidence"].push_back({{"chunkId", "c12"}, {"role", "nonsense"}, {"claim", "x"}});
         },
         Failure::schema("role")},
    });
}

TEST(CandidateValidationTest, ARepeatedChunkKeepsItsFirstCitation) {
    Json candidate = reply();
    candidate["evidence"].push_back({{"chunkId", "c12"}, {"role", "cause"}, {"claim", "later"}});
    CandidateDraft draft = parsed(candidate);
    ASSERT_EQ(draft.evidence.size(), 2u);
    EXPECT_EQ(draft.evidence[0], (CandidateEvidence{12, "symptom", "Sour means under-extracted", std::nullopt}));
}

TEST(CandidateValidationTest, FailureMessagesNameTheKey) {
    EXPECT_STREQ(Failure::schema("role").what(), "the candidate's \"role\" is missing or not allowed");
    EXPECT_STREQ(Failure::length("title").what(), "the candidate's \"title\" is too long or empty");
    EXPECT_EQ(Failure::length("title").key(), "title");
    EXPECT_EQ(Failure::unsafe().key(), "");
    EXPECT_FALSE(Failure::schema("title") == Failure::length("title"));
    EXPECT_FALSE(Failure::schema("title") == Failure::schema("whyNow"));
}

TEST(CandidateValidationTest, VerdictsAreAppliedByIndex) {
    CandidateDraft base = parsed(reply());
    base.evidence.push_back({41, "context", "third", std::nullopt});
    using Verdicts = std::vector<std::optional<std::string>>;
    struct VerdictCase {
        const char* name;
        const char* reply;
        bool uncertain;
        Verdicts verdicts;
        bool actionFollows;
    } cases[] = {
        {"each by its index",
         R"({"claims":[{"index":2,"verdict":"contradicted"},{"index":0,"verdict":"supported"},
                       {"index":1,"verdict":"inference_only"}],"differences":null,"actionFollows":true})",
         true,
         {"supported", "inference_only", "contradicted"},
         true},
        {"an inference without uncertainty is unsupported",
         R"({"claims":[{"index":0,"verdict":"inference_only"},{"index":1,"verdict":"supported"},
                       {"index":2,"verdict":"inference_only"}],"actionFollows":true})",
         false,
         {"unsupported", "supported", "unsupported"},
         true},
        {"unusable entries are skipped and the rest unsupported",
         R"({"claims":[{"index":3,"verdict":"supported"},{"index":-1,"verdict":"supported"},
                       {"index":"0","verdict":"supported"},{"index":1,"verdict":"SUPPORTED"},
                       {"index":1.0,"verdict":"supported"},"x",{"index":2}],"actionFollows":"yes"})",
         true,
         {"unsupported", "supported", "unsupported"},
         false},
        {"a later entry overrides",
         R"({"claims":[{"index":0,"verdict":"supported"},{"index":0,"verdict":"contradicted"}]})",
         true,
         {"contradicted", "unsupported", "unsupported"},
         false},
        {"no claims list",
         R"({"claims":{"0":"supported"},"actionFollows":false})",
         true,
         {"unsupported", "unsupported", "unsupported"},
         false},
        {"not an object", R"([1,2])", true, {"unsupported", "unsupported", "unsupported"}, false},
    };
    for (const VerdictCase& c : cases) {
        SCOPED_TRACE(c.name);
        CandidateDraft draft = base;
        if (!c.uncertain) {
            draft.uncertainty.reset();
        }
        CandidateDraft applied = CandidateValidation::applyVerdict(draft, Json::parse(c.reply));
        Verdicts verdicts;
        for (const auto& item : applied.evidence) {
            verdicts.push_back(item.verdict);
        }
        EXPECT_EQ(verdicts, c.verdicts);
        EXPECT_EQ(applied.actionFollows, c.actionFollows);
        EXPECT_EQ(applied.title, draft.title);
    }
}

} // namespace
} // namespace brell
