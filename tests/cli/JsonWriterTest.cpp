// The JSON writer: separators in nested documents, and escaping that keeps every string
// (names with quotes, backslashes, control characters, non-ASCII, broken UTF-8) readable
// by a strict parser as the same text.
#include <gtest/gtest.h>

#include <string>

#include "MiniJson.h"
#include "cli/JsonWriter.h"

namespace veltrane {
namespace {

using test::JsonValue;
using test::ParseJson;

TEST(JsonWriterTest, NestedDocumentHasItsSeparators) {
    JsonWriter json;
    json.BeginObject();
    json.Key("a").Number(1);
    json.Key("b").BeginArray().Number(-2).Bool(true).Null().BeginObject().EndObject();
    json.BeginArray().EndArray().EndArray();
    json.Key("c").String("x");
    json.EndObject();
    EXPECT_EQ(json.Text(), "{\"a\":1,\"b\":[-2,true,null,{},[]],\"c\":\"x\"}");
    JsonValue value;
    EXPECT_TRUE(ParseJson(json.Text(), value));
}

TEST(JsonWriterTest, EscapesWhatJsonRequires) {
    EXPECT_EQ(JsonWriter::Quote("C:\\a \"b\""), "\"C:\\\\a \\\"b\\\"\"");
    EXPECT_EQ(JsonWriter::Quote("\n\r\t\b\f"), "\"\\n\\r\\t\\b\\f\"");
    EXPECT_EQ(JsonWriter::Quote(std::string("\x01\x1f", 2)), "\"\\u0001\\u001f\"");
    EXPECT_EQ(JsonWriter::Quote(std::string("a\0b", 3)), "\"a\\u0000b\"");
    // Slash and DEL need no escape.
    EXPECT_EQ(JsonWriter::Quote("/\x7f"), "\"/\x7f\"");
}

TEST(JsonWriterTest, ValidUtf8StaysAndBrokenUtf8BecomesReplacement) {
    const std::string text = "\xC4\x81 \xE2\x82\xAC \xF0\x9F\x98\x80";
    EXPECT_EQ(JsonWriter::Quote(text), "\"" + text + "\"");
    const std::string broken[] = {
        "\xFF",              // never a UTF-8 byte
        "\xC4",              // cut short
        "\xC0\xAF",          // overlong
        "\xED\xA0\x80",      // a surrogate in UTF-8
        "\xF4\x90\x80\x80",  // above U+10FFFF
    };
    for (const std::string& bytes : broken) {
        const std::string quoted = JsonWriter::Quote("a" + bytes + "b");
        EXPECT_EQ(quoted.substr(0, 8), "\"a\\ufffd") << quoted;
        JsonValue value;
        EXPECT_TRUE(ParseJson(quoted, value)) << quoted;
    }
}

TEST(JsonWriterTest, EveryStringReadsBackExactly) {
    std::string all;
    for (int c = 1; c < 0x80; ++c) all += static_cast<char>(c);
    all += "\xC4\x81\xF0\x9F\x98\x80";
    JsonWriter json;
    json.BeginObject().Key(all).String(all).EndObject();
    JsonValue value;
    ASSERT_TRUE(ParseJson(json.Text(), value)) << json.Text();
    EXPECT_EQ(value[all].text, all);
}

}  // namespace
}  // namespace veltrane
