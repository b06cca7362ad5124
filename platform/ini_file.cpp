// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ini_file.h"
#include "platform/write_all.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <utility>

namespace velmaro {
namespace {

namespace fs = std::filesystem;

// A settings or language file is a few kilobytes; anything this large is not one of ours.
constexpr size_t kMaxFileBytes = 16u << 20;
constexpr size_t kReadChunk = 64u << 10;
// Integer reads go through a 30-unit buffer before the number is parsed.
constexpr size_t kIntTextLimit = 29;
constexpr int kTempNameAttempts = 16;
constexpr char kEndOfFileMark = '\x1a';  // old editors' Ctrl-Z, counted as white space
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
constexpr char32_t kReplacementChar = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;
// Bytes that start no valid UTF-8 sequence decode to values above every code point, so raw
// bytes of a non-UTF-8 file still compare exactly.
constexpr char32_t kInvalidByteBase = 0x110000;

// ---- text ------------------------------------------------------------------------------

bool IsProfileSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' ||
           c == kEndOfFileMark;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsProfileSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsProfileSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsSurrogate(char32_t cp) {
    return cp >= 0xD800 && cp <= 0xDFFF;
}

struct Utf8Lead {
    size_t length;
    char32_t bits;
    char32_t minimum;  // smaller values would be overlong encodings
};

std::optional<Utf8Lead> ReadLead(unsigned char lead) {
    if ((lead & 0xE0) == 0xC0) {
        return Utf8Lead{2, lead & 0x1Fu, 0x80};
    }
    if ((lead & 0xF0) == 0xE0) {
        return Utf8Lead{3, lead & 0x0Fu, 0x800};
    }
    if ((lead & 0xF8) == 0xF0) {
        return Utf8Lead{4, lead & 0x07u, 0x10000};
    }
    return std::nullopt;
}

// Decodes the character at `pos` and moves past it; an invalid byte is one "character".
char32_t NextCodePoint(std::string_view text, size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    const std::optional<Utf8Lead> sequence = ReadLead(lead);
    if (sequence && pos + sequence->length <= text.size()) {
        char32_t cp = sequence->bits;
        size_t i = 1;
        for (; i < sequence->length; ++i) {
            const auto next = static_cast<unsigned char>(text[pos + i]);
            if ((next & 0xC0) != 0x80) {
                break;
            }
            cp = (cp << 6) | (next & 0x3Fu);
        }
        if (i == sequence->length && cp >= sequence->minimum && cp <= kMaxCodePoint &&
            !IsSurrogate(cp)) {
            pos += sequence->length;
            return cp;
        }
    }
    ++pos;
    return kInvalidByteBase + lead;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Simple case folding for the scripts of the language table that have case: ASCII, Latin-1,
// Greek and Cyrillic. Names in these files are English in practice.
char32_t FoldCase(char32_t cp) {
    if (cp >= U'A' && cp <= U'Z') {
        return cp + 0x20;
    }
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) {
        return cp + 0x20;
    }
    if (cp >= 0x391 && cp <= 0x3AB && cp != 0x3A2) {
        return cp + 0x20;
    }
    if (cp >= 0x410 && cp <= 0x42F) {
        return cp + 0x20;
    }
    if (cp >= 0x400 && cp <= 0x40F) {
        return cp + 0x50;
    }
    return cp;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (FoldCase(NextCodePoint(a, i)) != FoldCase(NextCodePoint(b, j))) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

std::string TruncateToUnits(std::string_view value, size_t limit) {
    size_t units = 0;
    size_t pos = 0;
    while (pos < value.size()) {
        size_t next = pos;
        const char32_t cp = NextCodePoint(value, next);
        const size_t width = (cp >= 0x10000 && cp <= kMaxCodePoint) ? 2 : 1;
        if (units + width > limit) {
            break;
        }
        units += width;
        pos = next;
    }
    return std::string(value.substr(0, pos));
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

std::string_view StripQuotes(std::string_view value) {
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// A value as a read hands it out: the platform copies a C string, removes one pair of
// enclosing quotes and cuts the rest to the caller's buffer.
std::string ReadValue(std::string_view stored) {
    stored = stored.substr(0, stored.find('\0'));
    return TruncateProfileValue(StripQuotes(stored));
}

// Values that a read would change (surrounding blanks, a pair of enclosing quotes) are written
// inside double quotes, which the read removes again.
std::string EncodeValue(std::string_view value) {
    const bool blanksAtEnds =
        !value.empty() && (IsProfileSpace(value.front()) || IsProfileSpace(value.back()));
    if (blanksAtEnds || StripQuotes(value).size() != value.size()) {
        return "\"" + std::string(value) + "\"";
    }
    return std::string(value);
}

bool HasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool CanBeSectionName(std::string_view trimmed) {
    return !HasLineBreakOrNul(trimmed);
}

bool CanBeKeyName(std::string_view trimmed) {
    return !trimmed.empty() && !HasLineBreakOrNul(trimmed) &&
           trimmed.find('=') == std::string_view::npos && trimmed.front() != '[' &&
           trimmed.front() != ';';
}

// ---- lines -----------------------------------------------------------------------------

enum class LineKind { kBlank, kComment, kSection, kKey, kOther };

struct LineParts {
    LineKind kind;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed
};

LineParts ClassifyLine(std::string_view raw) {
    const std::string_view line = Trim(raw);
    if (line.empty()) {
        return {LineKind::kBlank, {}, {}};
    }
    if (line.front() == ';') {
        return {LineKind::kComment, {}, {}};
    }
    if (line.front() == '[') {
        const size_t close = line.rfind(']');
        if (close != std::string_view::npos) {
            return {LineKind::kSection, Trim(line.substr(1, close - 1)), {}};
        }
    }
    const size_t assign = line.find('=');
    if (assign == std::string_view::npos) {
        return {LineKind::kOther, {}, {}};
    }
    return {LineKind::kKey, Trim(line.substr(0, assign)), Trim(line.substr(assign + 1))};
}

bool IsKeyLine(const LineParts& parts) {
    return parts.kind == LineKind::kKey && !parts.name.empty();
}

// ---- encodings -------------------------------------------------------------------------

char16_t Utf16Unit(std::string_view bytes, size_t index, bool bigEndian) {
    const auto first = static_cast<unsigned char>(bytes[2 * index]);
    const auto second = static_cast<unsigned char>(bytes[2 * index + 1]);
    return bigEndian ? static_cast<char16_t>((first << 8) | second)
                     : static_cast<char16_t>((second << 8) | first);
}

// A trailing odd byte (a truncated file) is dropped; unpaired surrogates become U+FFFD.
std::string DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size());
    const size_t units = bytes.size() / 2;
    for (size_t i = 0; i < units; ++i) {
        const char16_t unit = Utf16Unit(bytes, i, bigEndian);
        char32_t cp = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const char16_t low = Utf16Unit(bytes, i + 1, bigEndian);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        AppendUtf8(out, IsSurrogate(cp) ? kReplacementChar : cp);
    }
    return out;
}

std::string DecodeText(std::string_view bytes, IniEncoding& encoding) {
    if (bytes.starts_with(kUtf8Bom)) {
        encoding = IniEncoding::kUtf8Bom;
        return std::string(bytes.substr(kUtf8Bom.size()));
    }
    if (bytes.starts_with(kUtf16LeBom)) {
        encoding = IniEncoding::kUtf16Le;
        return DecodeUtf16(bytes.substr(kUtf16LeBom.size()), false);
    }
    if (bytes.starts_with(kUtf16BeBom)) {
        encoding = IniEncoding::kUtf16Be;
        return DecodeUtf16(bytes.substr(kUtf16BeBom.size()), true);
    }
    // Without a BOM the bytes are kept as they are, so a file in another 8-bit encoding
    // survives a rewrite of one of its keys untouched.
    encoding = IniEncoding::kUtf8;
    return std::string(bytes);
}

// ---- files -----------------------------------------------------------------------------

class UniqueFd {
  public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Close(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Reports the result of close(): on some file systems write errors only show up there.
    bool Close() {
        if (fd_ < 0) {
            return true;
        }
        const int result = ::close(std::exchange(fd_, -1));
        return result == 0;
    }

  private:
    int fd_;
};

// A temporary file beside its target; removed on destruction unless committed.
class TempFile {
  public:
    TempFile(fs::path path, int fd) : path_(std::move(path)), fd_(fd) {}
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        fd_.Close();
        if (!committed_ && !path_.empty()) {
            ::unlink(path_.c_str());
        }
    }

    int fd() const { return fd_.get(); }
    const fs::path& path() const { return path_; }
    bool Close() { return fd_.Close(); }
    void Commit() { committed_ = true; }

  private:
    fs::path path_;
    UniqueFd fd_;
    bool committed_ = false;
};

IniStatus ReadWholeFile(const fs::path& path, std::string& out) {
    // O_NONBLOCK: a FIFO in place of the file must not hang the reader.
    const int raw = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    const int openError = errno;
    const UniqueFd fd(raw);
    if (!fd) {
        const bool absent = openError == ENOENT || openError == ENOTDIR;
        return absent ? IniStatus::kMissing : IniStatus::kUnreadable;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return IniStatus::kUnreadable;
    }
    std::string chunk(kReadChunk, '\0');
    for (;;) {
        const ssize_t got = ::read(fd.get(), chunk.data(), chunk.size());
        if (got == 0) {
            return IniStatus::kOk;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 || out.size() + static_cast<size_t>(got) > kMaxFileBytes) {
            out.clear();
            return IniStatus::kUnreadable;
        }
        out.append(chunk.data(), static_cast<size_t>(got));
    }
}

std::optional<TempFile> CreateTempBeside(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const std::string prefix =
        "." + target.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        fs::path candidate = folder / (prefix + std::to_string(counter.fetch_add(1)));
        const int fd =
            ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) {
            return std::optional<TempFile>(std::in_place, std::move(candidate), fd);
        }
        if (errno != EEXIST) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// A replaced file keeps its permissions (a user may have made it private).
void CopyPermissions(const fs::path& original, int fd) {
    struct stat info {};
    if (::stat(original.c_str(), &info) == 0) {
        ::fchmod(fd, info.st_mode & 07777);
    }
}

void SyncFolder(const fs::path& folder) {
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) {
        ::fsync(fd.get());
    }
}

bool ReplaceFileAtomically(const fs::path& target, std::string_view data) {
    std::optional<TempFile> temp = CreateTempBeside(target);
    if (!temp) {
        return false;
    }
    CopyPermissions(target, temp->fd());
    if (!WriteAll(temp->fd(), data.data(), data.size()) || ::fsync(temp->fd()) != 0 ||
        !temp->Close()) {
        return false;
    }
    if (::rename(temp->path().c_str(), target.c_str()) != 0) {
        return false;
    }
    temp->Commit();
    SyncFolder(target.parent_path().empty() ? fs::path(".") : target.parent_path());
    return true;
}

// Writing through a symbolic link updates the file it points to instead of replacing the link
// (configuration folders are often links into a dotfiles repository).
fs::path WriteTarget(const fs::path& path) {
    std::error_code error;
    if (!fs::is_symlink(path, error)) {
        return path;
    }
    fs::path resolved = fs::canonical(path, error);
    return error ? path : resolved;
}

}  // namespace

// ---- IniFile ---------------------------------------------------------------------------

IniStatus IniFile::Load(const std::filesystem::path& path) {
    Parse({});
    std::string bytes;
    const IniStatus status = ReadWholeFile(path, bytes);
    if (status == IniStatus::kOk) {
        Parse(bytes);
    }
    return status;
}

void IniFile::Parse(std::string_view bytes) {
    const std::string text = DecodeText(bytes, encoding_);
    lines_.clear();
    finalNewline_ = false;
    const size_t firstBreak = text.find('\n');
    crlf_ = firstBreak != std::string::npos && firstBreak > 0 && text[firstBreak - 1] == '\r';
    size_t start = 0;
    while (start < text.size()) {
        const size_t lineBreak = text.find('\n', start);
        if (lineBreak == std::string::npos) {
            lines_.emplace_back(text.substr(start));
            finalNewline_ = false;
            break;
        }
        lines_.emplace_back(text.substr(start, lineBreak - start));
        finalNewline_ = true;
        start = lineBreak + 1;
    }
}

std::string IniFile::Serialize() const {
    std::string out;
    if (encoding_ != IniEncoding::kUtf8) {
        out += kUtf8Bom;
    }
    for (size_t i = 0; i < lines_.size(); ++i) {
        out += lines_[i];
        if (i + 1 < lines_.size() || finalNewline_) {
            out += '\n';
        }
    }
    return out;
}

IniStatus IniFile::Save(const std::filesystem::path& path) const {
    return ReplaceFileAtomically(WriteTarget(path), Serialize()) ? IniStatus::kOk
                                                                 : IniStatus::kWriteFailed;
}

size_t IniFile::FindSectionLine(std::string_view section) const {
    section = Trim(section);
    for (size_t i = 0; i < lines_.size(); ++i) {
        const LineParts parts = ClassifyLine(lines_[i]);
        if (parts.kind == LineKind::kSection && EqualsNoCase(parts.name, section)) {
            return i;
        }
    }
    return std::string::npos;
}

size_t IniFile::SectionEnd(size_t headerLine) const {
    for (size_t i = headerLine + 1; i < lines_.size(); ++i) {
        if (ClassifyLine(lines_[i]).kind == LineKind::kSection) {
            return i;
        }
    }
    return lines_.size();
}

size_t IniFile::FindKeyLine(size_t headerLine, std::string_view key) const {
    const size_t end = SectionEnd(headerLine);
    for (size_t i = headerLine + 1; i < end; ++i) {
        const LineParts parts = ClassifyLine(lines_[i]);
        if (IsKeyLine(parts) && EqualsNoCase(parts.name, key)) {
            return i;
        }
    }
    return std::string::npos;
}

// New keys go after the last key of their section, so blank lines and comments that lead into
// the next section stay where they are.
size_t IniFile::InsertionPoint(size_t headerLine) const {
    size_t after = headerLine;
    const size_t end = SectionEnd(headerLine);
    for (size_t i = headerLine + 1; i < end; ++i) {
        if (ClassifyLine(lines_[i]).kind == LineKind::kKey) {
            after = i;
        }
    }
    return after + 1;
}

void IniFile::InsertLine(size_t at, std::string text) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(text));
    if (at + 1 == lines_.size()) {
        finalNewline_ = true;
    }
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
    key = Trim(key);
    if (key.empty()) {
        return std::nullopt;
    }
    const size_t header = FindSectionLine(section);
    if (header == std::string::npos) {
        return std::nullopt;
    }
    const size_t line = FindKeyLine(header, key);
    if (line == std::string::npos) {
        return std::nullopt;
    }
    return ReadValue(ClassifyLine(lines_[line]).value);
}

std::string IniFile::GetString(std::string_view section, std::string_view key,
                               std::string_view fallback) const {
    std::optional<std::string> value = Find(section, key);
    return value ? std::move(*value) : std::string(fallback);
}

int IniFile::GetInt(std::string_view section, std::string_view key, int fallback) const {
    const std::optional<std::string> value = Find(section, key);
    if (!value || value->empty()) {
        return fallback;
    }
    return ParseProfileInt(TruncateToUnits(*value, kIntTextLimit));
}

IniStatus IniFile::SetString(std::string_view section, std::string_view key,
                             std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    if (!CanBeSectionName(section) || !CanBeKeyName(key) || HasLineBreakOrNul(value)) {
        return IniStatus::kInvalidArgument;
    }
    size_t header = FindSectionLine(section);
    if (header == std::string::npos) {
        if (!lines_.empty() && !Trim(lines_.back()).empty()) {
            InsertLine(lines_.size(), LineEnding());
        }
        header = lines_.size();
        InsertLine(header, "[" + std::string(section) + "]" + LineEnding());
    }
    const size_t keyLine = FindKeyLine(header, key);
    if (keyLine == std::string::npos) {
        InsertLine(InsertionPoint(header),
                   std::string(key) + "=" + EncodeValue(value) + LineEnding());
        return IniStatus::kOk;
    }
    std::string& line = lines_[keyLine];
    const bool carriageReturn = !line.empty() && line.back() == '\r';
    std::string replaced = std::string(ClassifyLine(line).name) + "=" + EncodeValue(value);
    line = std::move(replaced) + (carriageReturn ? "\r" : "");
    return IniStatus::kOk;
}

std::vector<std::string> IniFile::SectionNames() const {
    std::vector<std::string> names;
    for (const std::string& line : lines_) {
        const LineParts parts = ClassifyLine(line);
        if (parts.kind == LineKind::kSection) {
            names.emplace_back(parts.name);
        }
    }
    return names;
}

std::vector<std::string> IniFile::KeyNames(std::string_view section) const {
    std::vector<std::string> names;
    const size_t header = FindSectionLine(section);
    if (header == std::string::npos) {
        return names;
    }
    const size_t end = SectionEnd(header);
    for (size_t i = header + 1; i < end; ++i) {
        const LineParts parts = ClassifyLine(lines_[i]);
        if (IsKeyLine(parts)) {
            names.emplace_back(parts.name);
        }
    }
    return names;
}

// ---- free functions --------------------------------------------------------------------

std::string TruncateProfileValue(std::string_view value) {
    return TruncateToUnits(value, kProfileValueLimit);
}

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'Z') {
        return c - 'A' + 10;
    }
    return INT32_MAX;
}

uint32_t ReadRadix(std::string_view& text) {
    constexpr uint32_t kDecimal = 10;
    if (text.size() < 2 || text[0] != '0') {
        return kDecimal;
    }
    const uint32_t radix = text[1] == 'x' ? 16 : text[1] == 'o' ? 8 : text[1] == 'b' ? 2 : 0;
    if (radix == 0) {
        return kDecimal;
    }
    text.remove_prefix(2);
    return radix;
}

}  // namespace

int ParseProfileInt(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') {
        text.remove_prefix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const uint32_t radix = ReadRadix(text);
    uint32_t total = 0;  // wraps like the platform's 32-bit accumulator
    for (const char c : text) {
        const int digit = DigitValue(c);
        if (digit >= static_cast<int>(radix)) {
            break;
        }
        total = total * radix + static_cast<uint32_t>(digit);
    }
    return static_cast<int>(negative ? 0u - total : total);
}

std::string ReadProfileString(const std::filesystem::path& path, std::string_view section,
                              std::string_view key, std::string_view fallback) {
    IniFile file;
    file.Load(path);
    return file.GetString(section, key, fallback);
}

int ReadProfileInt(const std::filesystem::path& path, std::string_view section,
                   std::string_view key, int fallback) {
    IniFile file;
    file.Load(path);
    return file.GetInt(section, key, fallback);
}

IniStatus WriteProfileString(const std::filesystem::path& path, std::string_view section,
                             std::string_view key, std::string_view value) {
    IniFile file;
    if (file.Load(path) == IniStatus::kUnreadable) {
        return IniStatus::kUnreadable;
    }
    const IniStatus set = file.SetString(section, key, value);
    return set == IniStatus::kOk ? file.Save(path) : set;
}

}  // namespace velmaro
