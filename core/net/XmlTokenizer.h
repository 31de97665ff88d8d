#pragma once
// A tolerant, non-validating pull tokenizer over a byte range: one token per
// call, no tree, no allocation beyond the token's own strings. XML documents
// build their trees from it; HTML text reads its tags through it too.
//
// The text is not copied: it must outlive the tokenizer. Every scan is
// bounded by the end of the text and every byte is looked at a bounded
// number of times, so a parse is linear in the text's length.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kivra {

// What next() returns: a token kind, the end, or a parse status.
enum XmlToken : int {
  kXmlTokenElement = 1,  // a tag: name ("/" first for an end tag), attributes, empty flag
  kXmlTokenText = 3,
  kXmlTokenDeclaration = 4,  // "<?xml ... ?>", kept whole
  kXmlTokenDocType = 5,      // "<!DOCTYPE ... >", kept whole
  kXmlTokenCData = 6,        // the section's content, undecoded
  kXmlTokenEnd = -1,
};

// Parse statuses (the document's `status`); 0 is success.
enum XmlStatus : int {
  kXmlOk = 0,
  kXmlCDataOpen = -2,
  kXmlDeclarationOpen = -3,
  kXmlDocTypeOpen = -4,
  kXmlCommentOpen = -5,
  kXmlMalformedElement = -6,
  kXmlOutOfMemory = -7,
  kXmlValueOpen = -8,
  kXmlElementOpen = -9,
  kXmlEndTagUnmatched = -10,
};

struct XmlAttribute {
  std::string name;
  std::string value;
  bool operator==(const XmlAttribute&) const = default;
};

struct XmlTokenizerOptions {
  // Whitespace runs between tags are dropped.
  bool ignoreWhite = false;
  // Movies of version 6 and later: dropped whitespace that reaches the end
  // ends the text, and a declaration loses an encoding the text no longer has.
  bool newerRules = true;
  // Numeric entities (and the no-break space) come out as UTF-8; otherwise
  // a code below 256 is one byte and a larger one two (high, low).
  bool utf8 = true;
};

// The token read last. Its strings may be moved out between calls.
struct XmlTokenData {
  std::string name;  // element name, or the text of a text, CDATA, declaration or DOCTYPE token
  std::vector<XmlAttribute> attributes;
  bool empty = false;  // the tag ended in "/>"
};

class XmlTokenizer {
 public:
  XmlTokenizer(std::string_view text, const XmlTokenizerOptions& options) : text_(text), options_(options) {}

  // Reads the next token into `token`: returns its kind, kXmlTokenEnd at the
  // end of the text, or a negative status (the text cannot be read further).
  int next(XmlTokenData& token);
  size_t position() const { return pos_; }

 private:
  int readTag(XmlTokenData& token);
  int readDeclaration(XmlTokenData& token);
  bool startsWith(std::string_view prefix) const;

  std::string_view text_;
  XmlTokenizerOptions options_;
  size_t pos_ = 0;
};

// Entities. Decoding appends `in` to `out` with "&name;" and "&#N;" replaced;
// an unknown or unterminated entity stays as it is.
void decodeXmlEntities(std::string_view in, bool utf8, std::string& out);
// Appends `in` with &, ", ', < and > written as entities.
void escapeXmlText(std::string_view in, std::string& out);

}  // namespace kivra
