#include "PackageTrust/ManifestParser.h"

#include <array>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "halvlib/String.h"

namespace Setup {

namespace {

constexpr std::streamsize kLineBufferSize = 65536;

constexpr std::string_view kBeginSignature = "-----BEGIN SIGNATURE-----\n";
constexpr std::string_view kEndSignature = "-----END SIGNATURE-----\n";
constexpr std::string_view kBeginCertificate = "-----BEGIN CERTIFICATE-----\n";
constexpr std::string_view kEndCertificate = "-----END CERTIFICATE-----\n";

bool isWordByte(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool isBase64Byte(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' || c == '+' ||
           c == '=';
}

bool isLowerHexByte(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

bool isPathByte(int c)
{
    if (c < 0x20 || c > 0x7E)
        return false;
    return std::strchr("\"*:<>?|", c) == nullptr;
}

// Matches a whole line of the shape <prefix><word> <base64>LF, as used by signature and
// certificate lines.
bool matchTaggedLine(std::string_view line, std::string_view prefix, std::string_view& word, std::string_view& value)
{
    if (line.size() < prefix.size() + 1 || line.substr(0, prefix.size()) != prefix || line.back() != '\n')
        return false;
    line.remove_prefix(prefix.size());
    line.remove_suffix(1);
    std::size_t i = 0;
    while (i < line.size() && isWordByte(line[i]))
        ++i;
    if (i == 0 || i == line.size() || line[i] != ' ')
        return false;
    word = line.substr(0, i);
    value = line.substr(i + 1);
    if (value.empty())
        return false;
    for (char c : value) {
        if (!isBase64Byte(c))
            return false;
    }
    return true;
}

bool matchSignatureLine(std::string_view line, std::string_view& algorithm, std::string_view& signature)
{
    return matchTaggedLine(line, "#sig ", algorithm, signature);
}

bool matchCertificateLine(std::string_view line, std::string_view& certificate)
{
    std::string_view kind;
    return matchTaggedLine(line, "#... ", kind, certificate) && kind == "cert";
}

// The line without its LF must be "#sha256 " or "#sha384 " and at least 64 lowercase hex digits.
bool matchDigestLine(std::string_view line, std::uint32_t& algorithm, std::string_view& digest)
{
    if (line.size() < 8 || line[0] != '#' || line[7] != ' ')
        return false;
    const std::string_view name = line.substr(1, 6);
    if (name == "sha256")
        algorithm = HashAlgorithm::sha256;
    else if (name == "sha384")
        algorithm = HashAlgorithm::sha384;
    else
        return false;
    digest = line.substr(8);
    if (digest.size() < 64)
        return false;
    for (char c : digest) {
        if (!isLowerHexByte(c))
            return false;
    }
    return true;
}

bool algorithmFromName(std::string_view name, std::uint32_t& algorithm)
{
    static constexpr std::pair<std::string_view, HashAlgorithm> kNames[] = {
        {"md5", HashAlgorithm::md5},
        {"sha1", HashAlgorithm::sha1},
        {"sha256", HashAlgorithm::sha256},
        {"sha384", HashAlgorithm::sha384},
    };
    for (const auto& [text, value] : kNames) {
        if (text == name) {
            algorithm = value;
            return true;
        }
    }
    return false;
}

// Reads one line with its LF, if it has one; a line longer than the buffer fails the stream.
std::string_view readLine(std::istream& stream, char* buffer)
{
    stream.getline(buffer, kLineBufferSize);
    std::size_t length = static_cast<std::size_t>(stream.gcount());
    if (!stream.eof() && length > 0) {
        // getline counts the LF it consumed but does not store it.
        buffer[length - 1] = '\n';
    }
    return std::string_view(buffer, length);
}

class ManifestTextParser {
public:
    explicit ManifestTextParser(SignedManifestText& result) : result_(result) {}

    void line(std::string_view line)
    {
        switch (state_) {
        case 0:
            if (line == kBeginSignature || isSignatureLine(line)) {
                state_ = 1;
                afterBody(line);
            } else {
                keep(line);
                bodyLength_ += line.size();
            }
            break;
        case 1:
            afterBody(line);
            break;
        case 2:
            if (line == kEndSignature) {
                state_ = 3;
            } else {
                std::string_view content = line.substr(0, line.empty() ? 0 : line.size() - 1);
                content = content.substr(0, content.find('\0'));
                current_.signature.append(content);
            }
            break;
        default:
            if (line == kBeginCertificate) {
                inCertificate_ = true;
                certificate_.clear();
            }
            // Only certificate blocks may follow a signature block: nothing there is signed.
            if (!inCertificate_)
                throw std::runtime_error("Manifest file parse error");
            certificate_.append(line);
            if (line == kEndCertificate) {
                inCertificate_ = false;
                give(std::move(certificate_));
                certificate_.clear();
            }
            break;
        }
    }

    void finish()
    {
        push();
        result_.allText = result_.text;
        result_.body = std::string_view(result_.text).substr(0, bodyLength_);
        if (result_.text.empty())
            throw std::runtime_error("Manifest file missing body");
    }

private:
    static bool isSignatureLine(std::string_view line)
    {
        std::string_view algorithm, signature;
        return matchSignatureLine(line, algorithm, signature);
    }

    static bool isDigestLine(std::string_view line)
    {
        if (!line.empty() && line.back() == '\n')
            line.remove_suffix(1);
        std::uint32_t algorithm = 0;
        std::string_view digest;
        return matchDigestLine(line, algorithm, digest);
    }

    void afterBody(std::string_view line)
    {
        if (line == kBeginSignature) {
            push();
            current_.algorithm = HashAlgorithm::sha1;
            state_ = 2;
            return;
        }
        // Nothing after the first signature line is signed, so a line that could carry content
        // (an entry or a digest) is refused rather than kept unverified; comments may stay.
        if (line.empty() || line.front() != '#' || isDigestLine(line))
            throw std::runtime_error("Manifest file parse error");
        keep(line);
        std::string_view word, value;
        if (matchSignatureLine(line, word, value)) {
            push();
            std::uint32_t algorithm = 0;
            if (algorithmFromName(word, algorithm)) {
                current_.algorithm = algorithm;
                current_.signature = std::string(value);
            }
        } else if (matchCertificateLine(line, value)) {
            std::string pem(kBeginCertificate);
            pem.append(value);
            pem.append("\n");
            pem.append(kEndCertificate);
            give(std::move(pem));
        }
    }

    void keep(std::string_view line) { result_.text.append(line); }

    void give(std::string certificate)
    {
        if (current_.signer.empty())
            current_.signer = std::move(certificate);
        else
            current_.chain.push_back(std::move(certificate));
    }

    void push()
    {
        if (!current_.signature.empty() && !current_.signer.empty()) {
            if (state_ == 1)
                result_.lineSignatures.push_back(std::move(current_));
            else
                result_.blockSignatures.push_back(std::move(current_));
        }
        current_ = ManifestSignature{};
    }

    SignedManifestText& result_;
    int state_ = 0;
    std::size_t bodyLength_ = 0;
    ManifestSignature current_;
    bool inCertificate_ = false;
    std::string certificate_;
};

// Reads an entry line after its opening quote; any unexpected byte fails the stream.
bool readEntry(std::istream& stream, std::vector<ManifestedFile>& entries)
{
    auto expect = [&stream](char wanted) {
        if (stream.peek() != std::char_traits<char>::to_int_type(wanted)) {
            stream.setstate(std::ios::failbit);
            return false;
        }
        stream.get();
        return true;
    };

    if (!expect('"'))
        return false;
    std::string path;
    while (isPathByte(stream.peek()))
        path.push_back(static_cast<char>(stream.get()));
    if (!expect('"') || !expect(' '))
        return false;

    std::uint64_t size = 0;
    int digits = 0;
    for (int c = stream.peek(); c >= '0' && c <= '9'; c = stream.peek()) {
        size = size * 10 + static_cast<unsigned>(c - '0');
        if (size > 0xFFFFFFFFull) {
            stream.setstate(std::ios::failbit);
            return false;
        }
        stream.get();
        ++digits;
    }
    if (digits == 0) {
        stream.setstate(std::ios::failbit);
        return false;
    }
    if (!expect(' '))
        return false;

    std::string sha1;
    while (true) {
        const int c = stream.peek();
        if (c == std::char_traits<char>::eof() || !isLowerHexByte(static_cast<char>(c)))
            break;
        sha1.push_back(static_cast<char>(stream.get()));
    }
    if (!expect('\n'))
        return false;

    ManifestedFile entry;
    entry.relativePath = halvlib::string::ToUtf16(path);
    entry.size = size;
    entry.sha1 = std::move(sha1);
    entry.digestMask = HashAlgorithm::sha1;
    entries.push_back(std::move(entry));
    return true;
}

}  // namespace

SignedManifestText::SignedManifestText(const SignedManifestText& other)
    : text(other.text), blockSignatures(other.blockSignatures), lineSignatures(other.lineSignatures)
{
    allText = text;
    body = std::string_view(text).substr(0, other.body.size());
}

SignedManifestText& SignedManifestText::operator=(const SignedManifestText& other)
{
    if (this != &other) {
        text = other.text;
        blockSignatures = other.blockSignatures;
        lineSignatures = other.lineSignatures;
        allText = text;
        body = std::string_view(text).substr(0, other.body.size());
    }
    return *this;
}

void throwStreamFailure(const std::ios_base::failure& failure)
{
    // The library's own text names its internals; say which state failed instead.
    throw std::ios_base::failure("ios_base::failbit set", failure.code());
}

SignedManifestText parseManifestFile(std::istream& stream)
{
    SignedManifestText result;
    ManifestTextParser parser(result);
    const auto buffer = std::make_unique<char[]>(kLineBufferSize);
    try {
        while (stream.peek() != std::char_traits<char>::eof())
            parser.line(readLine(stream, buffer.get()));
    } catch (const std::ios_base::failure& e) {
        throwStreamFailure(e);
    }
    parser.finish();
    return result;
}

void parseManifestBody(std::istream& stream, std::vector<ManifestedFile>& entries)
{
    std::vector<ManifestedFile> read;
    const auto buffer = std::make_unique<char[]>(kLineBufferSize);
    while (stream.good()) {
        const int next = stream.peek();
        if (next == '"') {
            if (!readEntry(stream, read))
                break;
        } else if (next == '#') {
            const std::string_view line = readLine(stream, buffer.get());
            if (stream.fail())
                break;
            std::string_view content = line;
            if (!content.empty() && content.back() == '\n')
                content.remove_suffix(1);
            std::uint32_t algorithm = 0;
            std::string_view digest;
            if (!read.empty() && matchDigestLine(content, algorithm, digest)) {
                ManifestedFile& last = read.back();
                (algorithm == HashAlgorithm::sha256 ? last.sha256 : last.sha384) = std::string(digest);
                last.digestMask |= algorithm;
            }
        } else {
            break;
        }
    }
    // peek() past the end would fail the stream, so the end is only looked for when not yet seen.
    if (!stream.fail() && !stream.bad() && !stream.eof() && stream.peek() != std::char_traits<char>::eof())
        stream.setstate(std::ios::failbit);
    if (!stream.fail() && !stream.bad())
        entries = std::move(read);
}

}  // namespace Setup
