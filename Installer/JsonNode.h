#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <utility>

// A small JSON document model for the stage-2 details request and its reply. Text is narrow and
// taken as UTF-8; numbers keep the text they were written with.

enum class JsonNodeKind : int {
    None = 0,  // no node
    Object = 1,
    Array = 2,
    Null = 3,
    String = 4,
    Number = 5,
    Bool = 6,
};

struct JsonMember;
struct JsonNodeData;

// A handle to a shared node. Copies share the data; a change first gives the changed handle a
// private copy, so it is never seen through another handle.
class JsonNode {
public:
    // No node.
    JsonNode() noexcept = default;
    // A new node of the kind; None (or a value that names no kind) gives no node.
    explicit JsonNode(JsonNodeKind kind);
    // A scalar: String takes the unescaped text, Number and Bool the text as it is; any other
    // kind gives a Null node.
    JsonNode(JsonNodeKind kind, const std::string& text);
    // A String of the unescaped text.
    explicit JsonNode(const std::string& text);
    explicit JsonNode(const char* text);

    JsonNode(const JsonNode& other) noexcept;
    JsonNode(JsonNode&& other) noexcept;
    JsonNode& operator=(const JsonNode& other) noexcept;
    JsonNode& operator=(JsonNode&& other) noexcept;
    ~JsonNode();

    bool isNode() const noexcept { return data != nullptr; }
    JsonNodeKind kind() const noexcept;

    // Scalars only: the node becomes a String of the unescaped text.
    void setString(const std::string& text);
    // "null" for Null, the stored text for the other scalars, the default for containers and
    // for no node.
    std::string text(const std::string& defaultText = std::string()) const;

    // Objects only, at the end; duplicate names are kept.
    void addMember(const std::string& name, const JsonNode& node);
    // Arrays only, at the end.
    void append(const JsonNode& node);

    // Objects only: the first member of exactly that name.
    bool hasMember(const std::string& name) const;
    JsonNode member(const std::string& name) const;

    // The members (array elements have empty names) in insertion order; begin equals end for
    // an empty list, a scalar and no node.
    const JsonMember* begin() const noexcept;
    const JsonMember* end() const noexcept;

private:
    // Gives this handle data of its own before a change.
    void detach();
    static void release(JsonNodeData* data) noexcept;

    JsonNodeData* data = nullptr;
};

struct JsonMember {
    std::string name;
    JsonNode value;
};

// Backslash, "/", double quote, line feed, tab, backspace, form feed and carriage return become
// two-character escapes; every other byte stays as it is.
std::string JsonEscape(const std::string& text);
// The reverse, pair by pair; a backslash before anything else stays as it is.
std::string JsonUnescape(const std::string& text);

class JsonWriter {
public:
    struct Options {
        bool pretty = false;
        int indentCount = 0;
        char indentCharacter = ' ';
        std::string lineBreak;  // after "{", "[" and each ","
        std::string separator;  // after each ":"
    };

    // Compact output.
    JsonWriter() = default;
    explicit JsonWriter(Options options) : options(std::move(options)) {}

    // Names are written as stored (not escaped); a missing value is written as null.
    void write(const JsonNode& node, std::string& output) const;

private:
    Options options;
};

// A tolerant reader. Bad input never throws: parse gives no node and error() says why. Empty
// input, or input without a container, gives no node and no error.
class JsonParser {
public:
    // Containers nested deeper than this are refused.
    static constexpr std::size_t kMaximumDepth = 512;

    JsonNode parse(std::istream& input);
    const std::string& error() const noexcept { return errorText; }

private:
    std::string errorText;
};
