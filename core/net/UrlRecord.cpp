#include "core/net/UrlRecord.h"

#include <algorithm>

#include "core/format/CaseInsensitive.h"

namespace kivra {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The host of a URL: after "://" up to the next "/", "?" or "#"; text
// without "://" starts with its host.
std::string_view hostPart(std::string_view url) {
  const size_t scheme = url.find("://");
  std::string_view rest = scheme == std::string_view::npos ? url : url.substr(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  // Credentials before an "@" are not part of the host.
  if (const size_t at = rest.rfind('@'); at != std::string_view::npos) rest = rest.substr(at + 1);
  return rest;
}

// The host without a trailing ":" and port number.
std::string_view withoutPort(std::string_view host) {
  const size_t colon = host.rfind(':');
  if (colon == std::string_view::npos || host.find(']', colon) != std::string_view::npos) return host;
  const std::string_view port = host.substr(colon + 1);
  if (!std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) return host;
  return host.substr(0, colon);
}

}  // namespace

UrlRecord UrlRecord::parse(std::string_view text) {
  UrlRecord r;
  r.url = std::string(text);
  size_t prefix = 0;
  if (startsWithIgnoringCase(text, "http://")) {
    r.scheme = UrlScheme::Http;
    prefix = 7;
  } else if (startsWithIgnoringCase(text, "https://")) {
    r.scheme = UrlScheme::Http;
    r.port = 443;
    prefix = 8;
  } else if (startsWithIgnoringCase(text, "ftp://")) {
    r.scheme = UrlScheme::Ftp;
    r.port = 21;
    prefix = 6;
  } else if (startsWithIgnoringCase(text, "file://")) {
    r.scheme = UrlScheme::File;
    prefix = 7;
  } else if (startsWithIgnoringCase(text, "rtmp://") || startsWithIgnoringCase(text, "rtmpt://") ||
             startsWithIgnoringCase(text, "rtmps://")) {
    r.scheme = UrlScheme::Rtmp;
    r.port = -1;
    prefix = text.find("://") + 3;
  } else {
    r.path = std::string(text);
    return r;
  }
  std::string_view rest = text.substr(prefix);
  const size_t slash = rest.find_first_of("/?#");
  std::string_view host = rest.substr(0, slash);
  if (const size_t at = host.rfind('@'); at != std::string_view::npos) host = host.substr(at + 1);
  const std::string_view bare = withoutPort(host);
  if (bare.size() < host.size()) {
    int port = 0;
    for (char c : host.substr(bare.size() + 1)) port = std::min(port * 10 + (c - '0'), 65536);
    if (bare.size() + 1 < host.size()) r.port = port;
  }
  r.host = std::string(bare);
  r.path = slash == std::string_view::npos ? std::string("/") : std::string(rest.substr(slash));
  if (!r.path.empty() && r.path[0] != '/') r.path.insert(r.path.begin(), '/');
  return r;
}

bool hasScheme(std::string_view url) {
  const size_t colon = url.find(':');
  return colon != std::string_view::npos && colon > 0 && url.find_first_of("/?") > colon;
}

bool isNetworkUrl(std::string_view url) {
  return startsWithIgnoringCase(url, "http://") || startsWithIgnoringCase(url, "https://") ||
         startsWithIgnoringCase(url, "ftp://");
}

bool dataLoadPermitted(std::string_view movieUrl, std::string_view url, std::string& absolute) {
  absolute = resolveUrl(movieUrl, url, true);
  if (startsWithIgnoringCase(movieUrl, "file://") || !hasScheme(movieUrl) || !hasScheme(url)) return true;
  return isDataLoadScheme(absolute) && sameDomain(absolute, movieUrl);
}

std::string resolveUrl(std::string_view base, std::string_view relative, bool hierarchical) {
  if (hasScheme(relative)) return std::string(relative);
  std::string out(base);
  size_t pathStart = 0;
  const bool authority = out.find("//") != std::string::npos;
  if (authority) {
    const size_t slash = out.find('/', out.find("//") + 2);
    if (slash == std::string::npos) out += '/';
    pathStart = (slash == std::string::npos ? out.size() - 1 : slash) + 1;
  }
  if (!relative.empty() && relative[0] == '/') {
    out.resize(pathStart);
    out += authority ? relative.substr(1) : relative;
    return out;
  }
  if (const size_t query = out.find('?', pathStart); query != std::string::npos) out.resize(query);
  if (hierarchical) {
    // Drop the last segment, then one more for each leading "../".
    auto cutSegment = [&]() {
      const size_t slash = out.rfind('/');
      out.resize(slash == std::string::npos || slash < pathStart ? pathStart : slash + 1);
    };
    cutSegment();
    while (relative.substr(0, 3) == "../") {
      relative.remove_prefix(3);
      if (out.size() > pathStart) {
        out.pop_back();  // the "/" ending the remaining path
        cutSegment();
      }
    }
  } else if (!out.empty() && out.back() != '/') {
    out += '/';
  }
  out += relative;
  return out;
}

std::string urlDomain(std::string_view url) {
  std::string host(withoutPort(hostPart(url)));
  for (char& c : host) c = lower(c);
  const bool letters = std::any_of(host.begin(), host.end(), [](char c) { return c >= 'a' && c <= 'z'; });
  const size_t dots = static_cast<size_t>(std::count(host.begin(), host.end(), '.'));
  if (letters && dots > 1 && host.find('%') == std::string::npos) {
    const size_t last = host.rfind('.');
    const size_t before = host.rfind('.', last - 1);
    host.erase(0, before + 1);
  }
  return host;
}

bool sameDomain(std::string_view a, std::string_view b) { return urlDomain(a) == urlDomain(b); }

bool isDataLoadScheme(std::string_view url) {
  for (std::string_view s : {"http://", "https://", "ftp://", "rtmp://"})
    if (startsWithIgnoringCase(url, s)) return true;
  return false;
}

bool fileUrlToPath(std::string_view url, std::string& path) {
  path.clear();
  if (!startsWithIgnoringCase(url, "file://")) return false;
  std::string_view rest = url.substr(7);
  if (rest.empty() || rest[0] != '/') {
    // A host: only this machine.
    const size_t slash = rest.find('/');
    const std::string_view host = rest.substr(0, slash);
    if (!equalsIgnoringCase(host, "localhost") || slash == std::string_view::npos) return false;
    rest = rest.substr(slash);
  }
  for (size_t i = 0; i < rest.size(); ++i) {
    const char c = rest[i];
    // A zero byte would cut the path short where the system reads it.
    if (c == '?' || c == '#' || c == '\0') break;
    if (c != '%') {
      path += c;
      continue;
    }
    const int hi = i + 1 < rest.size() ? hexDigitValue(rest[i + 1]) : -1;
    const int lo = i + 2 < rest.size() ? hexDigitValue(rest[i + 2]) : -1;
    if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) break;
    path += static_cast<char>(hi << 4 | lo);
    i += 2;
  }
  return !path.empty();
}

std::string pathToFileUrl(std::string_view path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out = "file://";
  for (const char c : path) {
    const auto b = static_cast<unsigned char>(c);
    const bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '/' ||
                       b == '-' || b == '_' || b == '.' || b == '~';
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += hex[b >> 4];
      out += hex[b & 15];
    }
  }
  return out;
}

bool completeConnectionUrl(std::string_view movieUrl, std::string_view url, std::string& out) {
  static constexpr std::string_view kSchemes[] = {"http:", "https:", "rtmp:", "rtmpt:", "rtmps:"};
  std::string scheme = "http:";
  std::string_view rest = url;
  for (std::string_view s : kSchemes)
    if (url.size() >= s.size() && startsWithIgnoringCase(url, s)) {
      scheme = std::string(url.substr(0, s.size()));
      rest = url.substr(s.size());
      break;
    }
  if (rest.empty()) return false;
  if (rest.substr(0, 2) == "//") {
    out = scheme + std::string(rest);
    return true;
  }
  std::string port;
  if (rest[0] == ':') {
    size_t digits = 1;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
    port = std::string(rest.substr(0, digits));
    rest = rest.substr(digits);
  }
  const UrlRecord movie = UrlRecord::parse(movieUrl);
  const bool local = movie.scheme == UrlScheme::File;
  if (!rest.empty() && rest[0] == '/') {
    out = scheme + "//" + (local || movie.host.empty() ? std::string("localhost") : movie.host) + port + std::string(rest);
    return true;
  }
  if (local || movie.scheme == UrlScheme::Rtmp) return false;
  const size_t slash = movieUrl.rfind('/');
  if (slash == std::string_view::npos) return false;
  out = std::string(movieUrl.substr(0, slash + 1)) + std::string(rest);
  return true;
}

}  // namespace kivra
