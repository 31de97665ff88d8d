#pragma once
// URL-encoded variables ("a=1&b=%41+B") both ways. Text handed in and out
// is in a movie's own encoding: UTF-8 from version 6, the system code page
// before. A version-6 movie that sets `useCodepage` exchanges code-page
// bytes with the outside world.
#include <string>
#include <string_view>
#include <vector>

#include "core/format/CodePage.h"

namespace kivra {

struct UrlVariable {
  std::string name;
  std::string value;
};

// Bytes escaped: letters and digits as they are, a space as "+", every
// other byte as "%XX" (upper case).
std::string urlEscape(std::string_view bytes);
// "%XX" back to its byte (a bad first digit drops "%" and that digit, a bad
// second digit all three) and "+" to a space. Unless `bytewise`, UTF-8
// sequences are copied (and dropped) whole.
std::string urlUnescape(std::string_view text, bool bytewise = true);

// Decodes `text` into name/value pairs in order (pairs with an empty name
// are dropped). The text itself turns code-page mode on when it holds
// "useCodepage" followed later by "true".
void decodeUrlVariables(std::string_view text, int version, bool useCodepage, const CodePage& page,
                        std::vector<UrlVariable>& out);

// One name or value encoded: letters and digits as they are, a space as
// "+", every other byte as "%XX" (upper case); version-6 text is first
// converted to the code page when `useCodepage` is set.
std::string encodeUrlText(std::string_view text, int version, bool useCodepage, const CodePage& page);
// The pairs joined as a POST body: "a=1&b=2".
std::string encodeUrlVariables(const std::vector<UrlVariable>& vars, int version, bool useCodepage,
                               const CodePage& page);
// Appends encoded pairs to a URL for a GET request: a URL that names only a
// host first gets "/"; the first pair follows "?" unless the URL already
// holds "?", "=" or "&" (then "&").
void appendUrlVariables(std::string& url, const std::vector<UrlVariable>& vars, int version, bool useCodepage,
                        const CodePage& page);

}  // namespace kivra
