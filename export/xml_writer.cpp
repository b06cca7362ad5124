// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/xml_writer.h"

#include <libxml/chvalid.h>
#include <libxml/tree.h>
#include <libxml/xmlwriter.h>

#include <cstdint>
#include <utility>

namespace velmaro {
namespace {

constexpr const char* kXmlVersion = "1.0";
constexpr const char* kEncoding = "UTF-8";
constexpr const char* kIndent = "  ";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

constexpr uint32_t kLastAscii = 0x7F;
constexpr uint32_t kContinuationMask = 0xC0;
constexpr uint32_t kContinuationTag = 0x80;
constexpr uint32_t kContinuationBits = 0x3F;
constexpr int kBitsPerContinuation = 6;
constexpr uint32_t kSurrogateFirst = 0xD800;
constexpr uint32_t kSurrogateLast = 0xDFFF;
constexpr uint32_t kLastCodePoint = 0x10FFFF;

// The UTF-8 lead bytes from kTwoByteLead up (RFC 3629): each range's sequence length, the bits
// the lead byte carries and the smallest code point that needs that many bytes (anything below
// is an overlong form).
struct Lead {
    uint8_t below = 0;  // the range ends before this byte
    size_t length = 0;
    uint8_t bits = 0;
    uint32_t minimum = 0;
};
constexpr uint8_t kTwoByteLead = 0xC0;
constexpr Lead kLeads[] = {
    {0xE0, 2, 0x1F, 0x80},
    {0xF0, 3, 0x0F, 0x800},
    {0xF8, 4, 0x07, 0x10000},
};

// Nothing (length 0) for a byte that cannot begin a sequence.
Lead LeadOf(uint8_t byte) {
    if (byte >= kTwoByteLead) {
        for (const Lead& lead : kLeads) {
            if (byte < lead.below) {
                return lead;
            }
        }
    }
    return {};
}

// The code point of the sequence at the front of `text` and its length; length 0 when the bytes
// there are no valid UTF-8.
std::pair<uint32_t, size_t> DecodeOne(std::string_view text) {
    const uint8_t first = static_cast<uint8_t>(text.front());
    if (first <= kLastAscii) {
        return {first, 1};
    }
    const Lead lead = LeadOf(first);
    if (lead.length == 0 || text.size() < lead.length) {
        return {0, 0};
    }
    uint32_t code = first & lead.bits;
    for (size_t i = 1; i < lead.length; ++i) {
        const uint8_t byte = static_cast<uint8_t>(text[i]);
        if ((byte & kContinuationMask) != kContinuationTag) {
            return {0, 0};
        }
        code = (code << kBitsPerContinuation) | (byte & kContinuationBits);
    }
    const bool surrogate = code >= kSurrogateFirst && code <= kSurrogateLast;
    if (code < lead.minimum || surrogate || code > kLastCodePoint) {
        return {0, 0};
    }
    return {code, lead.length};
}

// As XML 1.0 character data may hold it: valid UTF-8 of characters the Char production allows,
// any other byte sequence or character (a control character, U+FFFE) replaced by U+FFFD. A file
// name from a card may be in any old encoding, and libxml2 would copy its bytes as they are.
std::string ValidXmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto [code, length] = DecodeOne(text);
        if (length == 0 || !xmlIsCharQ(code)) {
            out += kReplacement;
            text.remove_prefix(length == 0 ? 1 : length);
            continue;
        }
        out.append(text.substr(0, length));
        text.remove_prefix(length);
    }
    return out;
}

const xmlChar* Chars(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}

}  // namespace

void XmlWriter::BufferFree::operator()(_xmlBuffer* buffer) const {
    xmlBufferFree(buffer);
}

void XmlWriter::WriterFree::operator()(_xmlTextWriter* writer) const {
    xmlFreeTextWriter(writer);
}

XmlWriter::XmlWriter() : buffer_(xmlBufferCreate()) {
    if (buffer_) {
        writer_.reset(xmlNewTextWriterMemory(buffer_.get(), 0));
    }
    if (!writer_) {
        failed_ = true;
        return;
    }
    Check(xmlTextWriterSetIndent(writer_.get(), 1));
    Check(xmlTextWriterSetIndentString(writer_.get(), Chars(kIndent)));
    Check(xmlTextWriterStartDocument(writer_.get(), kXmlVersion, kEncoding, nullptr));
}

XmlWriter::XmlWriter(XmlWriter&& other) noexcept
    : buffer_(std::move(other.buffer_)),
      writer_(std::move(other.writer_)),
      failed_(std::exchange(other.failed_, true)) {}

XmlWriter& XmlWriter::operator=(XmlWriter&& other) noexcept {
    if (this != &other) {
        writer_.reset();  // flushes into its own buffer, which must still be there
        buffer_ = std::move(other.buffer_);
        writer_ = std::move(other.writer_);
        failed_ = std::exchange(other.failed_, true);
    }
    return *this;
}

XmlWriter::~XmlWriter() = default;

void XmlWriter::Check(int result) {
    if (result < 0) {
        failed_ = true;
    }
}

void XmlWriter::Start(const char* element) {
    if (!failed_) {
        Check(xmlTextWriterStartElement(writer_.get(), Chars(element)));
    }
}

void XmlWriter::Attribute(const char* name, std::string_view value) {
    if (!failed_) {
        const std::string valid = ValidXmlText(value);
        Check(xmlTextWriterWriteAttribute(writer_.get(), Chars(name), Chars(valid.c_str())));
    }
}

void XmlWriter::Text(std::string_view text) {
    if (!failed_) {
        const std::string valid = ValidXmlText(text);
        Check(xmlTextWriterWriteString(writer_.get(), Chars(valid.c_str())));
    }
}

void XmlWriter::Element(const char* element, std::string_view text) {
    Start(element);
    Text(text);
    End();
}

void XmlWriter::End() {
    if (!failed_) {
        Check(xmlTextWriterEndElement(writer_.get()));
    }
}

std::optional<std::string> XmlWriter::Finish() {
    if (!failed_) {
        Check(xmlTextWriterEndDocument(writer_.get()));
    }
    if (failed_) {
        return std::nullopt;
    }
    writer_.reset();  // flushes what it still holds
    failed_ = true;   // nothing more can be written
    const auto* content = reinterpret_cast<const char*>(xmlBufferContent(buffer_.get()));
    return std::string(content, static_cast<size_t>(xmlBufferLength(buffer_.get())));
}

}  // namespace velmaro
