#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "Installer/JsonNode.h"

namespace {

std::string Compact(const JsonNode& node)
{
    std::string text;
    JsonWriter().write(node, text);
    return text;
}

struct ParseResult {
    JsonNode root;
    std::string error;
};

ParseResult Parse(const std::string& text)
{
    std::istringstream input(text);
    JsonParser parser;
    JsonNode root = parser.parse(input);
    return {root, parser.error()};
}

// A document and what the parser makes of it: the tree written compactly, or an error and no node.
struct ParseCase {
    const char* name;
    const char* input;
    const char* written;  // nullptr: no node
    const char* error;
};

std::ostream& operator<<(std::ostream& out, const ParseCase& c)
{
    return out << c.name;
}

class JsonParserCases : public testing::TestWithParam<ParseCase> {};

TEST_P(JsonParserCases, ReadsAsExpected)
{
    const ParseCase& c = GetParam();
    const ParseResult result = Parse(c.input);
    EXPECT_EQ(result.error, c.error);
    if (c.written == nullptr) {
        EXPECT_FALSE(result.root.isNode()) << Compact(result.root);
    } else {
        ASSERT_TRUE(result.root.isNode());
        EXPECT_EQ(Compact(result.root), c.written);
    }
}

INSTANTIATE_TEST_SUITE_P(Documents, JsonParserCases, testing::Values(
    // Nothing to read is no node and no error.
    ParseCase{"Empty", "", nullptr, ""},
    ParseCase{"Blank", " \t\r\n\f ", nullptr, ""},
    ParseCase{"OnlyComments", "/* only */ // comments\n", nullptr, ""},
    ParseCase{"EmptyObject", "{}", "{}", ""},
    ParseCase{"Nested", "{\"a\":[1,{\"b\":null}],\"c\":\"d\"}", "{\"a\":[1,{\"b\":null}],\"c\":\"d\"}", ""},
    // A trailing comma ends an object but not an array; a leading one is dropped.
    ParseCase{"TrailingCommaInObject", "{\"a\":1,}", "{\"a\":1}", ""},
    ParseCase{"TrailingCommaInArray", "[1,]", nullptr, "Extra comma in array"},
    ParseCase{"TrailingCommaInArrayAfterSpace", "[1 , ]", nullptr, "Extra comma in array"},
    ParseCase{"LeadingCommaInArray", "[,1]", "[1]", ""},
    ParseCase{"DuplicateNames", "{\"a\":1,\"a\":2}", "{\"a\":1,\"a\":2}", ""},
    // Comments of both forms between tokens, and inside a bare word, which they do not end.
    ParseCase{"CommentsBetweenTokens", "/* x */{ // y\n\"a\" /**/ : /* z */ 1 } // end", "{\"a\":1}", ""},
    ParseCase{"CommentInsideWord", "{\"a\":tr/* x */ue}", "{\"a\":true}", ""},
    ParseCase{"LineCommentEndsAtLineFeed", "{\"a\"://\"b\"\n2}", "{\"a\":2}", ""},
    ParseCase{"BracketInsideComment", "[1/*]*/]", "[1]", ""},
    ParseCase{"CommentStartingWithSlash", "[/*/ 1 */2]", "[2]", ""},
    // White space does not end a word.
    ParseCase{"WhiteSpaceInsideWords", "{\"a\":tr ue,\"b\":fa\tl\nse,\"c\":1 2}", "{\"a\":true,\"b\":false,\"c\":12}", ""},
    ParseCase{"WordsAnyCase", "[True,nULL,FALSE]", "[true,null,false]", ""},
    // Numbers keep their text.
    ParseCase{"NumbersKeepTheirText", "[1e5,-2.5E-3,0,1E+7,.5,007]", "[1e5,-2.5E-3,0,1E+7,.5,007]", ""},
    ParseCase{"ExponentWithoutDigits", "[1e]", nullptr, "Unknown token: 1e"},
    ParseCase{"LeadingPlus", "[+1]", nullptr, "Unknown token: +1"},
    ParseCase{"TwoMinus", "[--1]", nullptr, "Unknown token: --1"},
    ParseCase{"TwoDots", "[1.2.3]", nullptr, "Unknown token: 1.2.3"},
    ParseCase{"TwoExponents", "[1e5e6]", nullptr, "Unknown token: 1e5e6"},
    ParseCase{"TwoExponentSigns", "[1e+-5]", nullptr, "Unknown token: 1e+-5"},
    ParseCase{"Hexadecimal", "[0x10]", nullptr, "Unknown token: 0x10"},
    ParseCase{"SlashInsideWord", "[1/2]", nullptr, "Unknown token: 1/2"},
    ParseCase{"UnknownWord", "{\"a\":yes}", nullptr, "Unknown token: yes"},
    ParseCase{"WordAfterTheRoot", "{\"a\":1} trailing", nullptr, "Unknown token: trailing"},
    // Structure.
    ParseCase{"CloseWithoutOpen", "}", nullptr, "Found end of object or array without beginning"},
    ParseCase{"CloseAfterTheRoot", "{\"a\":1}]", nullptr, "Found end of object or array without beginning"},
    ParseCase{"ObjectClosesArray", "[}", nullptr, "Mismatched end and beginning of object"},
    ParseCase{"ArrayClosesObject", "{]", nullptr, "Mismatched end and beginning of array"},
    ParseCase{"NumberAsName", "{1:2}", nullptr, "A name has to be a string"},
    ParseCase{"NullAsName", "{null:2}", nullptr, "A name has to be a string"},
    ParseCase{"StringOutside", "\"a\"", nullptr, "Outermost node must be an object or array"},
    ParseCase{"NumberOutside", "5", nullptr, "Outermost node must be an object or array"},
    ParseCase{"NumberAfterTheRoot", "{\"a\":1} 5", nullptr, "Outermost node must be an object or array"},
    // A later top-level container replaces the first; an unfinished one does not.
    ParseCase{"LaterRootReplaces", "{\"a\":1}{\"b\":2}", "{\"b\":2}", ""},
    ParseCase{"UnfinishedLaterRootIgnored", "{\"a\":1}{\"b\":", "{\"a\":1}", ""},
    ParseCase{"UnfinishedRoot", "{\"a\":1", nullptr, ""},
    // A missing comma is not missed; stray colons are ignored.
    ParseCase{"MissingComma", "{\"a\":1 \"b\":2}", "{\"a\":1,\"b\":2}", ""},
    ParseCase{"ColonAfterOpen", "[:1]", "[1]", ""},
    ParseCase{"ColonAfterClose", "[[]:1]", "[[],1]", ""},
    ParseCase{"NameInArrayDropped", "[\"x\":2]", "[2]", ""},
    ParseCase{"NumberAsNameInArray", "[1:2]", nullptr, "A name has to be a string"},
    // Names are kept as written, escapes and all; values are unescaped.
    ParseCase{"NamesKeepEscapes", "{\"a\\/b\":\"c\\/d\\q\"}", "{\"a\\/b\":\"c\\/d\\\\q\"}", ""},
    ParseCase{"EscapedQuote", "{\"a\":\"x\\\"y\"}", "{\"a\":\"x\\\"y\"}", ""},
    // A double quote after a backslash never ends a string, even after an escaped backslash.
    ParseCase{"QuoteAfterEscapedBackslash", "{\"a\":\"x\\\\\" , \"b\":\"y\"}", nullptr, "Unknown token: b"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JsonParserTest, NamesAreFoundAsWrittenAndDuplicatesKept)
{
    const ParseResult result = Parse("{\"a\\/b\":1,\"x\":\"first\",\"x\":\"second\",\"X\":\"upper\"}");
    ASSERT_TRUE(result.root.isNode());
    EXPECT_TRUE(result.root.hasMember("a\\/b"));
    EXPECT_FALSE(result.root.hasMember("a/b"));
    EXPECT_EQ(result.root.member("x").text(), "first");
    EXPECT_EQ(result.root.member("X").text(), "upper");
    std::vector<std::string> names;
    for (const JsonMember& m : result.root)
        names.push_back(m.name);
    EXPECT_EQ(names, (std::vector<std::string>{"a\\/b", "x", "x", "X"}));
}

TEST(JsonParserTest, KindsOfValues)
{
    const ParseResult result = Parse("{\"s\":\"a\\nb\",\"n\":1e5,\"t\":TRUE,\"z\":Null,\"o\":{},\"l\":[]}");
    ASSERT_TRUE(result.root.isNode());
    const JsonNode& root = result.root;
    EXPECT_EQ(root.kind(), JsonNodeKind::Object);
    EXPECT_EQ(root.member("s").kind(), JsonNodeKind::String);
    EXPECT_EQ(root.member("s").text(), "a\nb");
    EXPECT_EQ(root.member("n").kind(), JsonNodeKind::Number);
    EXPECT_EQ(root.member("n").text(), "1e5");
    EXPECT_EQ(root.member("t").kind(), JsonNodeKind::Bool);
    EXPECT_EQ(root.member("t").text(), "true");
    EXPECT_EQ(root.member("z").kind(), JsonNodeKind::Null);
    EXPECT_EQ(root.member("z").text("default"), "null");
    EXPECT_EQ(root.member("o").kind(), JsonNodeKind::Object);
    EXPECT_EQ(root.member("l").kind(), JsonNodeKind::Array);
}

TEST(JsonParserTest, ErrorIsClearedByTheNextParse)
{
    JsonParser parser;
    std::istringstream bad("[1,]");
    EXPECT_FALSE(parser.parse(bad).isNode());
    EXPECT_EQ(parser.error(), "Extra comma in array");
    std::istringstream good("[1]");
    EXPECT_TRUE(parser.parse(good).isNode());
    EXPECT_EQ(parser.error(), "");
}

std::string Nested(std::size_t depth)
{
    return std::string(depth, '[') + std::string(depth, ']');
}

TEST(JsonParserTest, NestingIsBounded)
{
    const ParseResult deepest = Parse(Nested(JsonParser::kMaximumDepth));
    ASSERT_TRUE(deepest.root.isNode());
    EXPECT_EQ(deepest.error, "");
    EXPECT_EQ(Compact(deepest.root), Nested(JsonParser::kMaximumDepth));
    // The deepest tree that can be read is copied, changed, written and freed like any other.
    JsonNode copy = deepest.root;
    copy.append(JsonNode("x"));
    EXPECT_EQ(Compact(deepest.root), Nested(JsonParser::kMaximumDepth));

    const ParseResult deeper = Parse(Nested(JsonParser::kMaximumDepth + 1));
    EXPECT_FALSE(deeper.root.isNode());
    EXPECT_EQ(deeper.error, "Nesting too deep");

    // A hostile reply never closes its containers; it is refused without being read to the end.
    const ParseResult hostile = Parse(std::string(2'000'000, '[') + "{\"a\":" + std::string(2'000'000, '{'));
    EXPECT_FALSE(hostile.root.isNode());
    EXPECT_EQ(hostile.error, "Nesting too deep");
}

// Built through the interface, a tree has no depth bound: copying, changing, writing and freeing
// it must not use the call stack per level.
TEST(JsonNodeTest, DeepTreeBuiltByHand)
{
    constexpr std::size_t depth = 1'000'000;
    JsonNode tree(JsonNodeKind::Array);
    for (std::size_t i = 1; i < depth; ++i) {
        JsonNode outer(JsonNodeKind::Array);
        outer.append(tree);
        tree = std::move(outer);
    }
    JsonNode copy = tree;
    copy.append(JsonNode(JsonNodeKind::Number, "1"));
    const std::string written = Compact(tree);
    EXPECT_EQ(written.size(), 2 * depth);
    EXPECT_EQ(written.substr(depth - 2, 4), "[[]]");
    EXPECT_EQ(Compact(copy).substr(2 * depth - 3), "]],1]");
    tree = JsonNode();
    EXPECT_EQ(Compact(copy).size(), 2 * depth + 2);
}

TEST(JsonNodeTest, ChangesThroughACopyStayInTheCopy)
{
    JsonNode original(JsonNodeKind::Object);
    original.addMember("list", JsonNode(JsonNodeKind::Array));
    original.addMember("s", JsonNode("a"));
    JsonNode copy = original;
    copy.addMember("added", JsonNode(JsonNodeKind::Null));
    EXPECT_EQ(Compact(original), "{\"list\":[],\"s\":\"a\"}");
    EXPECT_EQ(Compact(copy), "{\"list\":[],\"s\":\"a\",\"added\":null}");

    // A member handed out is a copy too: changing it changes neither tree.
    JsonNode list = copy.member("list");
    list.append(JsonNode(JsonNodeKind::Bool, "true"));
    JsonNode s = original.member("s");
    s.setString("b");
    EXPECT_EQ(Compact(list), "[true]");
    EXPECT_EQ(Compact(s), "\"b\"");
    EXPECT_EQ(Compact(original), "{\"list\":[],\"s\":\"a\"}");
    EXPECT_EQ(Compact(copy), "{\"list\":[],\"s\":\"a\",\"added\":null}");

    // Assigned handles share until one changes.
    JsonNode scalar("x");
    JsonNode other;
    other = scalar;
    other.setString("y");
    EXPECT_EQ(scalar.text(), "x");
    EXPECT_EQ(other.text(), "y");
}

TEST(JsonNodeTest, ANodeAddedToItselfHoldsItsFormerSelf)
{
    JsonNode list(JsonNodeKind::Array);
    list.append(JsonNode("a"));
    list.append(list);
    list.append(list);
    EXPECT_EQ(Compact(list), "[\"a\",[\"a\"],[\"a\",[\"a\"]]]");
    JsonNode object(JsonNodeKind::Object);
    object.addMember("me", object);
    EXPECT_EQ(Compact(object), "{\"me\":{}}");
}

TEST(JsonNodeTest, Construction)
{
    EXPECT_FALSE(JsonNode().isNode());
    EXPECT_EQ(JsonNode().kind(), JsonNodeKind::None);
    EXPECT_FALSE(JsonNode(JsonNodeKind::None).isNode());
    EXPECT_FALSE(JsonNode(static_cast<JsonNodeKind>(7)).isNode());
    for (const JsonNodeKind kind : {JsonNodeKind::Object, JsonNodeKind::Array, JsonNodeKind::Null,
                                    JsonNodeKind::String, JsonNodeKind::Number, JsonNodeKind::Bool})
        EXPECT_EQ(JsonNode(kind).kind(), kind);

    // Scalars from a kind and a text: strings are unescaped, numbers and bools kept as given,
    // and containers refused.
    EXPECT_EQ(JsonNode(JsonNodeKind::String, "a\\tb\\/c").text(), "a\tb/c");
    EXPECT_EQ(JsonNode(JsonNodeKind::Number, "1E5").text(), "1E5");
    EXPECT_EQ(JsonNode(JsonNodeKind::Bool, "false").text(), "false");
    EXPECT_EQ(JsonNode(JsonNodeKind::Null, "x").text(), "null");
    EXPECT_EQ(Compact(JsonNode(JsonNodeKind::Null, "x")), "null");
    EXPECT_EQ(JsonNode(JsonNodeKind::Object, "x").kind(), JsonNodeKind::Null);
    EXPECT_EQ(JsonNode(JsonNodeKind::Array, "x").kind(), JsonNodeKind::Null);
    EXPECT_EQ(JsonNode(JsonNodeKind::None, "x").kind(), JsonNodeKind::Null);
    EXPECT_EQ(JsonNode("a\\\"b").kind(), JsonNodeKind::String);
    EXPECT_EQ(JsonNode("a\\\"b").text(), "a\"b");
    EXPECT_EQ(JsonNode(std::string("a\\nb")).text(), "a\nb");
    EXPECT_EQ(JsonNode(static_cast<const char*>(nullptr)).text("default"), "");
}

TEST(JsonNodeTest, OperationsOnTheWrongKindDoNothing)
{
    JsonNode object(JsonNodeKind::Object);
    JsonNode list(JsonNodeKind::Array);
    JsonNode number(JsonNodeKind::Number, "3");
    JsonNode none;
    object.append(JsonNode("x"));
    list.addMember("x", JsonNode("x"));
    number.addMember("x", JsonNode("x"));
    number.append(JsonNode("x"));
    none.append(JsonNode("x"));
    object.setString("s");
    list.setString("s");
    none.setString("s");
    EXPECT_EQ(Compact(object), "{}");
    EXPECT_EQ(Compact(list), "[]");
    EXPECT_EQ(Compact(number), "3");
    EXPECT_FALSE(none.isNode());

    list.append(JsonNode("x"));
    EXPECT_FALSE(list.hasMember(""));
    EXPECT_FALSE(list.member("").isNode());
    EXPECT_FALSE(number.hasMember("x"));
    EXPECT_FALSE(object.member("missing").isNode());

    // Containers and no node give the caller's default; a scalar set to a string becomes one.
    EXPECT_EQ(object.text("default"), "default");
    EXPECT_EQ(list.text("default"), "default");
    EXPECT_EQ(none.text("default"), "default");
    number.setString("a\\nb");
    EXPECT_EQ(number.kind(), JsonNodeKind::String);
    EXPECT_EQ(number.text(), "a\nb");
}

TEST(JsonNodeTest, MemberPositions)
{
    const JsonNode none;
    EXPECT_EQ(none.begin(), none.end());
    const JsonNode empty(JsonNodeKind::Object);
    EXPECT_EQ(empty.begin(), empty.end());
    const JsonNode scalar("s");
    EXPECT_EQ(scalar.begin(), scalar.end());

    JsonNode list(JsonNodeKind::Array);
    list.append(JsonNode("a"));
    list.append(JsonNode(JsonNodeKind::Number, "2"));
    ASSERT_EQ(list.end() - list.begin(), 2);
    EXPECT_EQ(list.begin()[0].name, "");
    EXPECT_EQ(list.begin()[0].value.text(), "a");
    EXPECT_EQ(list.begin()[1].value.text(), "2");
}

TEST(JsonEscapeTest, EscapesAndUnescapes)
{
    EXPECT_EQ(JsonEscape("\\/\"\n\t\b\f\r"), "\\\\\\/\\\"\\n\\t\\b\\f\\r");
    // No \u escapes: other control bytes and UTF-8 pass as they are.
    EXPECT_EQ(JsonEscape(std::string("\x01\x1f\x7f\xc3\xa9", 5)), std::string("\x01\x1f\x7f\xc3\xa9", 5));
    EXPECT_EQ(JsonEscape(std::string("a\0b", 3)), std::string("a\0b", 3));

    EXPECT_EQ(JsonUnescape("\\\\\\/\\\"\\n\\t\\b\\f\\r"), "\\/\"\n\t\b\f\r");
    // Pair by pair from the left: an escaped backslash does not escape what follows it.
    EXPECT_EQ(JsonUnescape("\\\\n"), "\\n");
    EXPECT_EQ(JsonUnescape("\\q\\u0041"), "\\q\\u0041");
    EXPECT_EQ(JsonUnescape("end\\"), "end\\");
}

TEST(JsonWriterTest, StringsAreEscapedNamesAreNot)
{
    JsonNode object(JsonNodeKind::Object);
    object.addMember("a/\"b", JsonNode(JsonNodeKind::String, std::string("x/y\\\\\x01")));
    EXPECT_EQ(Compact(object), "{\"a/\"b\":\"x\\/y\\\\\x01\"}");
}

TEST(JsonWriterTest, Layout)
{
    JsonNode inner(JsonNodeKind::Array);
    inner.append(JsonNode(JsonNodeKind::Number, "1"));
    inner.append(JsonNode(JsonNodeKind::Bool, "true"));
    JsonNode root(JsonNodeKind::Object);
    root.addMember("a", inner);
    root.addMember("b", JsonNode(JsonNodeKind::Null));
    root.addMember("c", JsonNode(JsonNodeKind::Object));
    root.addMember("d", JsonNode());

    JsonWriter::Options options;
    options.pretty = true;
    options.indentCount = 2;
    options.indentCharacter = '.';
    options.lineBreak = "\n";
    options.separator = " ";
    std::string text;
    JsonWriter(options).write(root, text);
    EXPECT_EQ(text,
              "{\n"
              "..\"a\": [\n"
              "....1,\n"
              "....true\n"
              "..],\n"
              "..\"b\": null,\n"
              "..\"c\": {\n"
              "\n"
              "..},\n"
              "..\"d\": null\n"
              "}");

    // Without pretty the texts still go in, but no indentation.
    options.pretty = false;
    JsonWriter(options).write(inner, text);
    EXPECT_EQ(text, "[\n1,\ntrue\n]");
    // The output is replaced, not appended to.
    JsonWriter().write(JsonNode("s"), text);
    EXPECT_EQ(text, "\"s\"");
}

}  // namespace
