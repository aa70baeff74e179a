// The reference's example format: what is read from a marker, how an outcome is shown, what the
// check ignores, and that a rewrite touches only the produced text.
#include "ReferenceDocument.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace refdoc {
namespace {

using ::testing::HasSubstr;

const char kDocument[] =
    "# Ops\n"
    "<!-- example: Init -->\n"
    "Result `0`, output:\n"
    "```json\n[]\n```\n"
    "<!-- end example -->\n"
    "text between\n"
    "<!-- example: ListQuery lane=2 buffer=64 answers={\"03014\": {\"ErrorCode\": \"5\"}} -->\n"
    "```json\n"
    "{\"ListType\":\"1\"} trailing\n"
    "```\n"
    "Result `5`, `*pLen` unchanged (64), output: the empty text.\n"
    "<!-- end example -->\n"
    "tail\n";

TEST(ReferenceDocumentTest, ReadsCallOptionsRequestAndProducedText) {
  std::vector<Example> examples;
  std::string error;
  ASSERT_TRUE(parse(kDocument, examples, error)) << error;
  ASSERT_EQ(examples.size(), 2u);

  EXPECT_EQ(examples[0].call, "Init");
  EXPECT_FALSE(examples[0].request.has_value());
  EXPECT_FALSE(examples[0].showsCapacity);
  EXPECT_EQ(examples[0].shown, "Result `0`, output:\n```json\n[]\n```\n");
  EXPECT_EQ(examples[0].line, 2u);

  const Example& list = examples[1];
  EXPECT_EQ(list.call, "ListQuery");
  EXPECT_EQ(list.lane, 2);
  EXPECT_EQ(list.capacity, 64);
  EXPECT_TRUE(list.showsCapacity);
  EXPECT_EQ(list.answers["03014"]["ErrorCode"], "5");
  EXPECT_EQ(list.request, std::string("{\"ListType\":\"1\"} trailing"));
  EXPECT_EQ(list.shown, "Result `5`, `*pLen` unchanged (64), output: the empty text.\n");
}

TEST(ReferenceDocumentTest, MalformedExamplesAreRefusedWithTheirLine) {
  const struct {
    const char* document;
    const char* reason;
  } cases[] = {
      {"<!-- example: Bogus -->\n<!-- end example -->\n", "unknown call"},
      {"<!-- example: Init\n<!-- end example -->\n", "not closed"},
      {"<!-- example: Init -->\nResult `0`.\n", "no end marker"},
      {"<!-- example: Init -->\n<!-- example: Uninit -->\n<!-- end example -->\n", "no end marker"},
      {"<!-- example: ListQuery -->\nResult `0`.\n<!-- end example -->\n", "fenced block"},
      {"<!-- example: ListQuery lane=x -->\n```\n{}\n```\n<!-- end example -->\n", "bad option"},
      {"<!-- example: ListQuery answers=[1] -->\n```\n{}\n```\n<!-- end example -->\n",
       "JSON object"},
  };
  for (const auto& c : cases) {
    std::vector<Example> examples;
    std::string error;
    EXPECT_FALSE(parse(std::string("intro\n") + c.document, examples, error)) << c.document;
    EXPECT_THAT(error, HasSubstr("line 2: ")) << c.document;
    EXPECT_THAT(error, HasSubstr(c.reason)) << c.document;
  }
}

TEST(ReferenceDocumentTest, ShowsResultCapacityCodeAndOutput) {
  Example op;
  op.call = "ETCStatusQuery";
  Outcome untouched;
  untouched.result = 1000;
  EXPECT_EQ(render(op, untouched), "Result `1000`, `out` untouched.\n");

  Outcome empty;
  empty.result = 3;
  empty.written = true;
  EXPECT_EQ(render(op, empty), "Result `3`, output: the empty text.\n");

  Outcome styled;
  styled.written = true;
  styled.output = "{\n\t\"A\" : \"1\"\n}\n";
  EXPECT_EQ(render(op, styled), "Result `0`, output:\n```json\n{\n\t\"A\" : \"1\"\n}\n```\n");

  op.capacity = 16;
  op.showsCapacity = true;
  Outcome stashed;
  stashed.result = 5;
  stashed.lenAfter = 120;
  EXPECT_EQ(render(op, stashed), "Result `5`, `*pLen` 16 → 120, `out` untouched.\n");
  stashed.lenAfter = 16;
  stashed.written = true;
  stashed.output = "Initialize failed";
  EXPECT_EQ(render(op, stashed),
            "Result `5`, `*pLen` unchanged (16), output:\n```text\nInitialize failed\n```\n");

  Example fetch;
  fetch.call = "GetResponse";
  Outcome fetched;
  fetched.code = 0;
  fetched.written = true;
  fetched.output = "[]\n";
  EXPECT_EQ(render(fetch, fetched), "Result `0`, `*code` 0, output:\n```json\n[]\n```\n");

  Example stop;
  stop.call = "Uninit";
  EXPECT_EQ(render(stop, Outcome()), "Result `0`.\n");
}

TEST(ReferenceDocumentTest, OnlyRunDependentValuesAreIgnored) {
  const std::string a = "\t\"OpSerialNo\" : \"17\",\n\t\"PayTime\" : \"2026-01-02 03:04:05\",\n"
                        "\t\"Tac\" : \"0A0B0C0D\",\n\t\"ErrorCode\" : \"0\"\n";
  const std::string b = "\t\"OpSerialNo\" : \"4093\",\n\t\"PayTime\" : \"2027-11-12 13:14:15\",\n"
                        "\t\"Tac\" : \"FFFFFFFF\",\n\t\"ErrorCode\" : \"0\"\n";
  EXPECT_EQ(normalise(a), normalise(b));
  std::string changed = b;
  changed.replace(changed.rfind("\"0\""), 3, "\"5\"");
  EXPECT_NE(normalise(a), normalise(changed));
}

TEST(ReferenceDocumentTest, RewriteReplacesOnlyTheProducedText) {
  std::vector<Example> examples;
  std::string error;
  ASSERT_TRUE(parse(kDocument, examples, error)) << error;
  const std::string rewritten =
      rewrite(kDocument, examples, {"Result `-1`.\n", "Result `0`, `out` untouched.\n"});

  std::vector<Example> again;
  ASSERT_TRUE(parse(rewritten, again, error)) << error;
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again[0].shown, "Result `-1`.\n");
  EXPECT_EQ(again[1].shown, "Result `0`, `out` untouched.\n");
  EXPECT_EQ(again[1].request, examples[1].request);
  EXPECT_THAT(rewritten, HasSubstr("text between\n"));
  EXPECT_EQ(rewritten.substr(rewritten.size() - 5), "tail\n");
}

TEST(ReferenceDocumentTest, ListedErrorMessagesNeedAnExampleThatShowsThem) {
  const std::string document =
      "The error object of result 3 is `{\"ErrMsg\": MESSAGE, \"Result\": \"3\"}` with \"Shown\" or\n"
      "\"Never returned\".\n\n\"Outside\" the list.\n"
      "<!-- example: ListQuery -->\n```json\n{}\n```\nResult `3`, output:\n```json\n{\n"
      "\t\"ErrMsg\" : \"Shown\",\n\t\"Result\" : \"3\"\n}\n```\n<!-- end example -->\n";
  std::vector<Example> examples;
  std::string error;
  ASSERT_TRUE(parse(document, examples, error)) << error;
  std::vector<std::string> unshown;
  ASSERT_TRUE(unshownErrorMessages(document, examples, unshown, error)) << error;
  EXPECT_EQ(unshown, std::vector<std::string>{"Never returned"});

  EXPECT_FALSE(unshownErrorMessages("no list\n", examples, unshown, error));
  EXPECT_THAT(error, HasSubstr("The error object of result 3"));
}

}  // namespace
}  // namespace refdoc
