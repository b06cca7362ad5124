// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// An XML document built in memory through libxml2's text writer. Element and attribute names are
// the caller's constants; every text and attribute value is made valid XML 1.0 UTF-8 (a broken
// byte sequence or a character XML forbids becomes U+FFFD) and then escaped by libxml2, so no
// name a user or a card gives can break the file.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct _xmlBuffer;
struct _xmlTextWriter;

namespace velmaro {

class XmlWriter {
  public:
    // Starts the document: XML 1.0, UTF-8, nested elements indented by two spaces.
    XmlWriter();
    XmlWriter(XmlWriter&& other) noexcept;
    XmlWriter& operator=(XmlWriter&& other) noexcept;
    XmlWriter(const XmlWriter&) = delete;
    XmlWriter& operator=(const XmlWriter&) = delete;
    ~XmlWriter();

    void Start(const char* element);
    // On the element just started, before any content.
    void Attribute(const char* name, std::string_view value);
    void Text(std::string_view text);
    // A whole element holding only `text`.
    void Element(const char* element, std::string_view text);
    void End();

    // Closes the open elements and the document. Nothing when libxml2 failed on the way, which
    // it does only when memory runs out or an element is closed that was never opened.
    std::optional<std::string> Finish();

  private:
    void Check(int result);

    struct BufferFree {
        void operator()(_xmlBuffer* buffer) const;
    };
    struct WriterFree {
        void operator()(_xmlTextWriter* writer) const;
    };
    std::unique_ptr<_xmlBuffer, BufferFree> buffer_;
    // Declared after the buffer, so it is freed first: freeing it flushes into the buffer.
    std::unique_ptr<_xmlTextWriter, WriterFree> writer_;
    bool failed_ = false;
};

}  // namespace velmaro
