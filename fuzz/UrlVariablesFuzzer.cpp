// URLs and URL-encoded variables from arbitrary bytes. The first byte picks
// the movie version, code-page mode and resolution mode; the rest splits at
// its first zero byte into a base and a relative text (also read as
// variables). Everything must finish within bounds, and variables decoded
// without code-page conversion must encode and decode back to themselves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/format/CodePage.h"
#include "core/net/UrlRecord.h"
#include "core/net/UrlVariables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  const int version = mode & 1 ? 6 : 5;
  const bool useCodepage = mode & 2;
  const bool hierarchical = mode & 4;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t cut = rest.find('\0');
  const std::string_view base = rest.substr(0, cut);
  const std::string_view relative = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);

  const std::string resolved = kivra::resolveUrl(base, relative, hierarchical);
  if (resolved.size() > base.size() + relative.size() + 2) std::abort();
  const kivra::UrlRecord record = kivra::UrlRecord::parse(resolved);
  if (record.url != resolved) std::abort();
  (void)kivra::sameDomain(base, relative);
  std::string path;
  if (kivra::fileUrlToPath(resolved, path) && path.find('\0') != std::string::npos) std::abort();
  if (kivra::fileUrlToPath(kivra::pathToFileUrl(base), path) && base.find('\0') == base.npos && !base.empty() &&
      base[0] == '/' && path != base)
    std::abort();

  const kivra::CodePage& page = kivra::CodePage::windows1252();
  std::vector<kivra::UrlVariable> vars;
  kivra::decodeUrlVariables(relative, version, useCodepage, page, vars);
  for (const kivra::UrlVariable& v : vars)
    if (v.name.empty()) std::abort();
  std::string url(base);
  kivra::appendUrlVariables(url, vars, version, useCodepage, page);
  // Without conversions the bytes come back exactly.
  if (!useCodepage && relative.find("useCodepage") == std::string_view::npos) {
    const std::string body = kivra::encodeUrlVariables(vars, version, false, page);
    std::vector<kivra::UrlVariable> back;
    kivra::decodeUrlVariables(body, version, false, page, back);
    bool flips = false;
    for (const kivra::UrlVariable& v : vars)
      flips = flips || v.name.find("useCodepage") != std::string::npos || v.value.find("useCodepage") != std::string::npos;
    if (!flips) {
      if (back.size() != vars.size()) std::abort();
      for (size_t i = 0; i < vars.size(); ++i)
        if (back[i].name != vars[i].name || back[i].value != vars[i].value) std::abort();
    }
  }
  return 0;
}
