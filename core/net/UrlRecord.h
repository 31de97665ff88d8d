#pragma once
// URLs as the loading code sees them: the record of a request's URL, how a
// relative URL is made absolute against a movie's URL, the domain two URLs
// are compared by, and the local path a file URL names.
#include <cstdint>
#include <string>
#include <string_view>

namespace kivra {

// The value of a hexadecimal digit, or -1.
inline int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

enum class UrlScheme : uint8_t { Http = 0, Ftp = 1, File = 2, Rtmp = 3 };

struct UrlRecord {
  std::string url;   // the whole text
  std::string host;  // without the port
  std::string path;  // from the "/" after the host ("/" when none)
  int port = 80;     // -1 for the rtmp family
  UrlScheme scheme = UrlScheme::File;

  // Reads "http://", "https://", "ftp://", "file://" and the rtmp family
  // (prefixes without regard to case); other text keeps the scheme and
  // port of an empty record and is all path.
  static UrlRecord parse(std::string_view text);
};

// `relative` made absolute against `base`. In hierarchical mode the base's
// last path segment goes, and each leading "../" removes one more segment
// (never above the path's start).
std::string resolveUrl(std::string_view base, std::string_view relative, bool hierarchical);

// The domain a URL is compared by (lower case): its host without the port;
// a named host with more than one dot and no "%" keeps only its last two
// labels. Text without "://" is read as starting with the host.
std::string urlDomain(std::string_view url);
bool sameDomain(std::string_view a, std::string_view b);

// Whether a URL's scheme may load data: http, https, ftp and rtmp.
bool isDataLoadScheme(std::string_view url);
// Whether the URL is fetched over the network: http, https or ftp.
bool isNetworkUrl(std::string_view url);
// Whether the text starts with a scheme ("name:" before any "/" or "?").
bool hasScheme(std::string_view url);
// The rule for loading data (variables, documents, libraries): a movie from
// a file, or a URL without a scheme (relative to the movie), may load;
// otherwise the URL made absolute against the movie's must have a listed
// scheme and the movie's domain. `absolute` gets that absolute URL.
bool dataLoadPermitted(std::string_view movieUrl, std::string_view url, std::string& absolute);

// A connection's URL completed against its movie's URL: text without a
// connection scheme reads as "http:" + text; after the scheme "//" starts an
// absolute URL; ":port" may follow; "/path" takes the movie's host
// ("localhost" for a file), any other text is relative to the movie's folder
// (not for a file or real-time movie). False when nothing follows the scheme
// or no URL can be made.
bool completeConnectionUrl(std::string_view movieUrl, std::string_view url, std::string& out);

// The local path of a "file://" URL: percent escapes decoded (an invalid
// escape or a zero byte, escaped or not, ends the path there). A host other than
// none or "localhost" names another machine: false.
bool fileUrlToPath(std::string_view url, std::string& path);
// A local absolute path as a "file://" URL (bytes outside the unreserved
// set escaped).
std::string pathToFileUrl(std::string_view path);

}  // namespace kivra
