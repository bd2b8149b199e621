#include "Installer/JsonNode.h"

#include <deque>
#include <optional>
#include <vector>

struct JsonNodeData {
    JsonNodeKind kind;
    std::size_t references = 1;
    std::string text;
    std::vector<JsonMember> members;
    // Only while the tree is being freed: the node to go on with once this one is empty.
    JsonNodeData* nextToFree = nullptr;
};

namespace {

bool IsScalar(JsonNodeKind kind)
{
    return kind == JsonNodeKind::Null || kind == JsonNodeKind::String || kind == JsonNodeKind::Number ||
           kind == JsonNodeKind::Bool;
}

bool IsContainer(JsonNodeKind kind)
{
    return kind == JsonNodeKind::Object || kind == JsonNodeKind::Array;
}

}  // namespace

// Frees a node and every node that only it holds, without recursion and without allocating: a
// tree can be far deeper than the stack, whether it was read or built by hand. The nodes still to
// empty are chained through themselves.
void JsonNode::release(JsonNodeData* data) noexcept
{
    if (data == nullptr || --data->references != 0)
        return;
    JsonNodeData* pending = data;
    while (pending != nullptr) {
        JsonNodeData* node = pending;
        if (node->members.empty()) {
            pending = node->nextToFree;
            delete node;
            continue;
        }
        JsonMember& last = node->members.back();
        JsonNodeData* child = last.value.data;
        last.value.data = nullptr;
        node->members.pop_back();
        if (child != nullptr && --child->references == 0) {
            child->nextToFree = pending;
            pending = child;
        }
    }
}

JsonNode::JsonNode(JsonNodeKind kind)
{
    if (IsScalar(kind) || IsContainer(kind))
        data = new JsonNodeData{kind, 1, {}, {}};
}

JsonNode::JsonNode(JsonNodeKind kind, const std::string& text)
{
    std::string stored;
    if (kind == JsonNodeKind::String)
        stored = JsonUnescape(text);
    else if (kind == JsonNodeKind::Number || kind == JsonNodeKind::Bool)
        stored = text;
    data = new JsonNodeData{IsScalar(kind) ? kind : JsonNodeKind::Null, 1, std::move(stored), {}};
}

JsonNode::JsonNode(const std::string& text) : JsonNode(JsonNodeKind::String, text) {}

JsonNode::JsonNode(const char* text) : JsonNode(JsonNodeKind::String, std::string(text != nullptr ? text : "")) {}

JsonNode::JsonNode(const JsonNode& other) noexcept : data(other.data)
{
    if (data != nullptr)
        ++data->references;
}

JsonNode::JsonNode(JsonNode&& other) noexcept : data(other.data)
{
    other.data = nullptr;
}

JsonNode& JsonNode::operator=(const JsonNode& other) noexcept
{
    if (other.data != nullptr)
        ++other.data->references;
    release(data);
    data = other.data;
    return *this;
}

JsonNode& JsonNode::operator=(JsonNode&& other) noexcept
{
    if (this != &other) {
        release(data);
        data = other.data;
        other.data = nullptr;
    }
    return *this;
}

JsonNode::~JsonNode()
{
    release(data);
}

JsonNodeKind JsonNode::kind() const noexcept
{
    return data != nullptr ? data->kind : JsonNodeKind::None;
}

void JsonNode::detach()
{
    if (data->references == 1)
        return;
    // The members' handles are shared, not copied in depth: each child copies itself in turn
    // before it changes, and copying stays flat however deep the tree is.
    auto* copy = new JsonNodeData{data->kind, 1, data->text, data->members};
    --data->references;
    data = copy;
}

void JsonNode::setString(const std::string& text)
{
    if (data == nullptr || !IsScalar(data->kind))
        return;
    std::string unescaped = JsonUnescape(text);
    detach();
    data->kind = JsonNodeKind::String;
    data->text = std::move(unescaped);
}

std::string JsonNode::text(const std::string& defaultText) const
{
    if (data == nullptr || !IsScalar(data->kind))
        return defaultText;
    return data->kind == JsonNodeKind::Null ? std::string("null") : data->text;
}

void JsonNode::addMember(const std::string& name, const JsonNode& node)
{
    if (data == nullptr || data->kind != JsonNodeKind::Object)
        return;
    // Held before the private copy: a node added to itself then holds its old state and never
    // itself, so no tree can contain a cycle.
    JsonNode value = node;
    detach();
    data->members.push_back({name, std::move(value)});
}

void JsonNode::append(const JsonNode& node)
{
    if (data == nullptr || data->kind != JsonNodeKind::Array)
        return;
    JsonNode value = node;
    detach();
    data->members.push_back({std::string(), std::move(value)});
}

bool JsonNode::hasMember(const std::string& name) const
{
    return member(name).isNode();
}

JsonNode JsonNode::member(const std::string& name) const
{
    if (data == nullptr || data->kind != JsonNodeKind::Object)
        return JsonNode();
    for (const JsonMember& m : data->members) {
        if (m.name == name)
            return m.value;
    }
    return JsonNode();
}

const JsonMember* JsonNode::begin() const noexcept
{
    return data != nullptr ? data->members.data() : nullptr;
}

const JsonMember* JsonNode::end() const noexcept
{
    return data != nullptr ? data->members.data() + data->members.size() : nullptr;
}

namespace {

constexpr struct {
    char plain;
    char escaped;
} kEscapes[] = {{'\\', '\\'}, {'/', '/'}, {'"', '"'}, {'\n', 'n'}, {'\t', 't'}, {'\b', 'b'}, {'\f', 'f'}, {'\r', 'r'}};

}  // namespace

std::string JsonEscape(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        bool escaped = false;
        for (const auto& e : kEscapes) {
            if (c == e.plain) {
                result += '\\';
                result += e.escaped;
                escaped = true;
                break;
            }
        }
        if (!escaped)
            result += c;
    }
    return result;
}

std::string JsonUnescape(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            bool unescaped = false;
            for (const auto& e : kEscapes) {
                if (text[i + 1] == e.escaped) {
                    result += e.plain;
                    unescaped = true;
                    break;
                }
            }
            if (unescaped) {
                ++i;
                continue;
            }
        }
        result += text[i];
    }
    return result;
}

void JsonWriter::write(const JsonNode& node, std::string& output) const
{
    std::string out;
    const auto indent = [this, &out](std::size_t depth) {
        if (options.pretty && options.indentCount > 0)
            out.append(depth * static_cast<std::size_t>(options.indentCount), options.indentCharacter);
    };
    const auto scalar = [&out](const JsonNode& value) {
        switch (value.kind()) {
        case JsonNodeKind::String:
            out += '"';
            out += JsonEscape(value.text());
            out += '"';
            break;
        case JsonNodeKind::Number:
        case JsonNodeKind::Bool:
            out += value.text();
            break;
        default:
            out += "null";
            break;
        }
    };

    // An explicit stack of the open containers and the next member of each, so that a deep tree
    // cannot exhaust the call stack.
    struct Open {
        const JsonNode* node;
        const JsonMember* next;
        std::size_t depth;
    };
    std::vector<Open> open;
    const auto start = [&](const JsonNode& container, std::size_t depth) {
        out += container.kind() == JsonNodeKind::Object ? '{' : '[';
        out += options.lineBreak;
        open.push_back({&container, container.begin(), depth});
    };

    if (IsContainer(node.kind()))
        start(node, 0);
    else
        scalar(node);
    while (!open.empty()) {
        Open& top = open.back();
        if (top.next == top.node->end()) {
            out += options.lineBreak;
            indent(top.depth);
            out += top.node->kind() == JsonNodeKind::Object ? '}' : ']';
            open.pop_back();
            continue;
        }
        const JsonMember& member = *top.next++;
        if (&member != top.node->begin()) {
            out += ',';
            out += options.lineBreak;
        }
        indent(top.depth + 1);
        if (top.node->kind() == JsonNodeKind::Object) {
            out += '"';
            out += member.name;
            out += "\":";
            out += options.separator;
        }
        if (IsContainer(member.value.kind()))
            start(member.value, top.depth + 1);  // may move the stack: top is not used after this
        else
            scalar(member.value);
    }
    output = std::move(out);
}

namespace {

enum class TokenType { Value, Unknown, Comma, Colon, OpenObject, CloseObject, OpenArray, CloseArray, End };

struct Datum {
    JsonNodeKind kind;
    std::string text;  // strings as read, escapes still in them
};

struct Token {
    TokenType type;
    std::optional<Datum> datum;  // value tokens
    std::string word;            // unknown tokens
};

bool IsNumber(const std::string& upper)
{
    bool exponent = false;
    int minus = 0;
    int dots = 0;
    int exponentSigns = 0;
    int exponentDigits = 0;
    for (const char c : upper) {
        if (c >= '0' && c <= '9') {
            if (exponent)
                ++exponentDigits;
        } else if (c == '.') {
            if (++dots > 1)
                return false;
        } else if (c == 'E') {
            if (exponent)
                return false;
            exponent = true;
        } else if (c == '-' || c == '+') {
            if (exponent) {
                if (++exponentSigns > 1)
                    return false;
            } else if (c == '+' || ++minus > 1) {
                return false;
            }
        } else {
            return false;
        }
    }
    return !exponent || exponentDigits > 0;
}

Token Classify(const std::string& word)
{
    std::string upper = word;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    if (upper == "NULL")
        return {TokenType::Value, Datum{JsonNodeKind::Null, ""}, {}};
    if (upper == "TRUE")
        return {TokenType::Value, Datum{JsonNodeKind::Bool, "true"}, {}};
    if (upper == "FALSE")
        return {TokenType::Value, Datum{JsonNodeKind::Bool, "false"}, {}};
    if (IsNumber(upper))
        return {TokenType::Value, Datum{JsonNodeKind::Number, word}, {}};
    return {TokenType::Unknown, std::nullopt, word};
}

// Reads tokens one byte at a time, on demand, so that a refused document is not read further.
class Tokeniser {
public:
    explicit Tokeniser(std::istream& input) : input(input) {}

    const Token& Peek()
    {
        while (queue.empty())
            ReadMore();
        return queue.front();
    }

    Token Next()
    {
        Peek();
        Token token = std::move(queue.front());
        queue.pop_front();
        return token;
    }

private:
    // White space and comments do not end a word: only a delimiter or the end does.
    void EndWord()
    {
        if (!word.empty()) {
            queue.push_back(Classify(word));
            word.clear();
        }
    }

    void Push(TokenType type)
    {
        EndWord();
        queue.push_back({type, std::nullopt, {}});
    }

    void ReadMore()
    {
        if (ended) {
            queue.push_back({TokenType::End, std::nullopt, {}});
            return;
        }
        while (queue.empty()) {
            const int c = input.get();
            switch (c) {
            case std::char_traits<char>::eof():
                ended = true;
                Push(TokenType::End);
                break;
            case '\t':
            case '\n':
            case '\f':
            case '\r':
            case ' ':
                break;
            case '"':
                EndWord();
                queue.push_back({TokenType::Value, Datum{JsonNodeKind::String, ReadString()}, {}});
                break;
            case ',':
                Push(TokenType::Comma);
                break;
            case ':':
                Push(TokenType::Colon);
                break;
            case '[':
                Push(TokenType::OpenArray);
                break;
            case ']':
                Push(TokenType::CloseArray);
                break;
            case '{':
                Push(TokenType::OpenObject);
                break;
            case '}':
                Push(TokenType::CloseObject);
                break;
            case '/':
                if (input.peek() == '*') {
                    input.get();
                    SkipBlockComment();
                } else if (input.peek() == '/') {
                    input.get();
                    SkipLineComment();
                } else {
                    word += '/';
                }
                break;
            default:
                word += static_cast<char>(c);
                break;
            }
        }
    }

    // Up to the next double quote that does not follow a backslash, or to the end of the input.
    std::string ReadString()
    {
        std::string raw;
        int previous = 0;
        for (;;) {
            const int c = input.get();
            if (c == std::char_traits<char>::eof() || (c == '"' && previous != '\\'))
                return raw;
            raw += static_cast<char>(c);
            previous = c;
        }
    }

    void SkipBlockComment()
    {
        int previous = 0;
        for (;;) {
            const int c = input.get();
            if (c == std::char_traits<char>::eof() || (previous == '*' && c == '/'))
                return;
            previous = c;
        }
    }

    void SkipLineComment()
    {
        for (;;) {
            const int c = input.get();
            if (c == std::char_traits<char>::eof() || c == '\n')
                return;
        }
    }

    std::istream& input;
    std::string word;
    std::deque<Token> queue;
    bool ended = false;
};

}  // namespace

JsonNode JsonParser::parse(std::istream& input)
{
    errorText.clear();
    const auto fail = [this](std::string message) {
        errorText = std::move(message);
        return JsonNode();
    };

    struct Open {
        JsonNode node;
        std::string name;
    };
    Tokeniser tokens(input);
    std::vector<Open> open;
    std::string pendingName;
    JsonNode root;
    for (;;) {
        Token token = tokens.Next();
        switch (token.type) {
        case TokenType::End:
            return root;
        case TokenType::Unknown:
            return fail("Unknown token: " + token.word);
        case TokenType::OpenObject:
        case TokenType::OpenArray:
            // Reading is flat, but whoever walks the tree later may not be.
            if (open.size() >= kMaximumDepth)
                return fail("Nesting too deep");
            open.push_back({JsonNode(token.type == TokenType::OpenObject ? JsonNodeKind::Object : JsonNodeKind::Array),
                            std::move(pendingName)});
            pendingName.clear();
            break;
        case TokenType::CloseObject:
        case TokenType::CloseArray: {
            if (open.empty())
                return fail("Found end of object or array without beginning");
            if (token.type == TokenType::CloseObject && open.back().node.kind() != JsonNodeKind::Object)
                return fail("Mismatched end and beginning of object");
            if (token.type == TokenType::CloseArray && open.back().node.kind() != JsonNodeKind::Array)
                return fail("Mismatched end and beginning of array");
            Open done = std::move(open.back());
            open.pop_back();
            if (open.empty()) {
                root = std::move(done.node);
            } else if (open.back().node.kind() == JsonNodeKind::Object) {
                open.back().node.addMember(done.name, done.node);
            } else if (open.back().node.kind() == JsonNodeKind::Array) {
                open.back().node.append(done.node);
            } else {
                return fail("Can only add elements to objects and arrays");
            }
            break;
        }
        case TokenType::Comma:
            if (tokens.Peek().type == TokenType::CloseArray)
                return fail("Extra comma in array");
            break;
        case TokenType::Colon:
            break;
        case TokenType::Value:
            if (!token.datum)
                return fail("Missing data for value");
            if (tokens.Peek().type == TokenType::Colon) {
                tokens.Next();
                if (token.datum->kind != JsonNodeKind::String)
                    return fail("A name has to be a string");
                pendingName = std::move(token.datum->text);
                break;
            }
            if (open.empty())
                return fail("Outermost node must be an object or array");
            {
                const JsonNode value(token.datum->kind, token.datum->text);
                JsonNode& top = open.back().node;
                if (top.kind() == JsonNodeKind::Object)
                    top.addMember(pendingName, value);
                else
                    top.append(value);
                pendingName.clear();
            }
            break;
        }
    }
}
