#pragma once
// The line and block structure of movie source text, and the value syntax
// shared by the compiler and the dumper (numbers, twips, colours, strings,
// matrices, colour transforms).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/format/Records.h"

namespace kivra::qvxs {

// Collects errors as "file:line: message".
class Diagnostics {
 public:
  explicit Diagnostics(std::string file = "<source>") : file_(std::move(file)) {}
  void error(int line, const std::string& message);
  bool ok() const { return messages_.empty(); }
  const std::vector<std::string>& messages() const { return messages_; }
  std::string text() const;

 private:
  std::string file_;
  std::vector<std::string> messages_;
};

// One source line split into words, with the block it opens (a line that
// ends in "{"; the block ends at a line holding only "}").
struct Node {
  int line = 0;
  std::vector<std::string> words;  // quoted strings keep their quotes
  bool hasBlock = false;
  std::vector<Node> children;
  const std::string& head() const { return words.front(); }
};

// Splits text into nodes. Comments: a line whose first non-blank character
// is '#', and anything after a ';' outside a string.
bool parseNodes(const std::string& text, std::vector<Node>& out, Diagnostics& diag);

// Attributes of a node: positional words and key=value words.
class Args {
 public:
  Args(const Node& node, Diagnostics& diag, size_t first = 1);
  size_t positionalCount() const { return positional_.size(); }
  const std::string& positional(size_t i) const { return positional_[i]; }
  bool flag(const std::string& name);  // a bare word, consumed
  std::optional<std::string> value(const std::string& key);  // consumed
  // Reports and returns false when the positional count is outside [lo, hi].
  bool expect(size_t lo, size_t hi, const char* usage);
  // Reports every word that no call consumed.
  void finish();
  int line() const { return line_; }
  Diagnostics& diag() { return diag_; }

 private:
  struct Entry {
    std::string key, value;
    bool used = false;
  };
  std::vector<std::string> positional_;
  std::vector<Entry> entries_;
  std::vector<Entry> flags_;
  int line_;
  Diagnostics& diag_;
};

// Value parsers: false on a malformed value (no message; callers report).
bool parseInt(const std::string& s, int64_t& out);
bool parseDouble(const std::string& s, double& out);
// Twips, or pixels with a "px" suffix.
bool parseTwips(const std::string& s, int32_t& out);
// "#rrggbb" or "#rrggbbaa".
bool parseColor(const std::string& s, Rgba& out, bool& hasAlpha);
// A quoted string with \" \\ \n \r \t \xHH escapes.
bool parseQuoted(const std::string& s, std::string& out);
// Comma-separated list.
std::vector<std::string> splitList(const std::string& s, char sep = ',');

// Checked helpers that report through Args.
bool intArg(Args& a, const std::string& text, int64_t lo, int64_t hi, int64_t& out, const char* what);
bool stringArg(Args& a, const std::string& text, std::string& out, const char* what);
bool colorArg(Args& a, const std::string& text, bool alphaAllowed, Rgba& out);
// scale=a,d skew=b,c rotate=degrees at=x,y and the bare word `matrix`
// (prefix "end" for the end matrix of morph styles). nullopt when none given.
std::optional<MATRIX> matrixArgs(Args& a, const std::string& prefix = "");
// mul=r,g,b[,a] add=r,g,b[,a] and the bare word `cxform`.
std::optional<CXFORM> cxformArgs(Args& a, bool withAlpha);

// Formatting, the inverse of the parsers.
std::string quote(const std::string& s);
std::string formatColor(const Rgba& c, bool withAlpha);
std::string formatTwips(int32_t v);
// Shortest decimal that reads back as the same double.
std::string formatDouble(double v);
std::string formatFloat(float v);
std::string formatMatrix(const MATRIX& m, const std::string& prefix = "");  // "" for identity
std::string formatCxform(const CXFORM& c, bool withAlpha);                // "cxform" when empty

}  // namespace kivra::qvxs
