#include "core/net/SharedObjectPath.h"

#include <vector>

#include "core/format/CaseInsensitive.h"
#include "core/net/UrlRecord.h"

namespace kivra {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool localMovie(std::string_view url) { return !hasScheme(url) || startsWithIgnoringCase(url, "file:"); }

// The folder of the movie's site, as built (not yet made safe).
std::string siteOf(std::string_view url) {
  if (localMovie(url)) return "localhost";
  std::string host = UrlRecord::parse(url).host;
  for (char& c : host)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  // A server's own folder never meets the local movies' one.
  return host == "localhost" ? "#localhost" : host;
}

// The path a movie's objects are scoped to: a local file's path, or the
// URL's path without its query.
std::string moviePath(std::string_view url) {
  std::string path;
  if (!hasScheme(url)) path.assign(url);
  else if (startsWithIgnoringCase(url, "file:")) {
    if (!fileUrlToPath(url, path)) return {};
  } else {
    path = UrlRecord::parse(url).path;
    path.erase(std::min(path.find('?'), path.size()));
  }
  return path;
}

bool segmentAllowed(std::string_view s) {
  if (s.empty() || s == "." || s == "..") return false;
  for (unsigned char c : s)
    if (c < 0x20 || c == '/') return false;
  return true;
}

// Splits a path into folders; "." goes, ".." takes the folder before it
// and fails above the start; control bytes fail.
bool splitFolders(std::string_view path, std::vector<std::string>& out) {
  size_t i = 0;
  while (i <= path.size()) {
    size_t end = path.find_first_of("/\\", i);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view s = path.substr(i, end - i);
    i = end + 1;
    if (s.empty() || s == ".") continue;
    if (s == "..") {
      if (out.empty()) return false;
      out.pop_back();
      continue;
    }
    if (!segmentAllowed(s)) return false;
    out.emplace_back(s);
  }
  return true;
}

void appendHex32(std::string& out, uint32_t v) {
  for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(v >> shift) & 15];
}

uint32_t rotateLeft(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

// One name cut into pieces of at most kMaxStoredNameLength, counting from
// its end; every piece but the last ends with "#".
void appendCut(std::string& out, std::string_view name) {
  std::vector<std::string_view> pieces;
  bool last = true;
  while (true) {
    const size_t room = last ? kMaxStoredNameLength : kMaxStoredNameLength - 1;
    if (name.size() <= room) {
      pieces.push_back(name);
      break;
    }
    pieces.push_back(name.substr(name.size() - room));
    name.remove_suffix(room);
    last = false;
  }
  for (size_t k = pieces.size(); k-- > 0;) {
    out.append(pieces[k]);
    if (k > 0) out += "#/";
  }
}

}  // namespace

bool sharedObjectNameAllowed(std::string_view name) {
  if (name.empty()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20) return false;
    if (std::string_view("~&\\;:\"',<>? #").find(static_cast<char>(c)) != std::string_view::npos) return false;
    if (c == '/' && i + 1 < name.size() && name[i + 1] == '/') return false;
    if ((i == 0 || name[i - 1] == '/') && name.substr(i, 3) == "../") return false;
  }
  return true;
}

std::string sharedObjectSite(std::string_view movieUrl) {
  const std::string site = siteOf(movieUrl);
  return segmentAllowed(site) && site.find('\\') == std::string::npos ? safeStoredPath(site) : std::string();
}

std::string longPathFolder(std::string_view logicalPath) {
  uint32_t first = 0, second = 0;
  for (unsigned char k : logicalPath) {
    if (k >= 'A' && k <= 'Z') k = static_cast<unsigned char>(k - 'A' + 'a');
    first = rotateLeft(first, 5) + k;
    second = rotateLeft(second, 6) + k;
  }
  std::string out = "##";
  appendHex32(out, first);
  appendHex32(out, second);
  return out;
}

std::string safeStoredPath(std::string_view path) {
  std::string escaped;
  for (unsigned char c : path) {
    if (c < 0x80) {
      escaped += static_cast<char>(c);
      continue;
    }
    escaped += kHex[c >> 4];
    escaped += '#';
    escaped += kHex[c & 15];
  }
  std::string out;
  size_t i = 0;
  while (i <= escaped.size()) {
    size_t end = escaped.find('/', i);
    if (end == std::string::npos) end = escaped.size();
    if (!out.empty()) out += '/';
    appendCut(out, std::string_view(escaped).substr(i, end - i));
    i = end + 1;
  }
  return out;
}

bool placeSharedObject(std::string_view movieUrl, std::string_view name, const std::string* localPath,
                       size_t rootLength, SharedObjectPlace& out) {
  out = SharedObjectPlace();
  if (!sharedObjectNameAllowed(name)) return false;
  if (name.front() == '/') name.remove_prefix(1);
  if (name.empty()) return false;
  out.name.assign(name);

  const std::string site = siteOf(movieUrl);
  if (!segmentAllowed(site) || site.find('\\') != std::string::npos) return false;
  std::string path = moviePath(movieUrl);
  if (path.empty()) return false;
  out.settingsScope = path.compare(0, kSettingsPath.size(), kSettingsPath) == 0;
  if (localPath) {
    if (path.compare(0, localPath->size(), *localPath) != 0) return false;
    path = *localPath;
  }
  std::vector<std::string> folders;
  if (!splitFolders(path, folders)) return false;

  // A name with folders of its own starts with "#": they never meet the
  // path's folders.
  std::string file = name.find('/') != std::string_view::npos ? "#" : "";
  file.append(name);
  file += ".sol";
  out.logicalPath = site;
  for (const std::string& f : folders) out.logicalPath += "/" + f;
  size_t i = 0;
  while (i <= file.size()) {
    size_t end = file.find('/', i);
    if (end == std::string::npos) end = file.size();
    const std::string_view s = std::string_view(file).substr(i, end - i);
    if (!segmentAllowed(s)) return false;
    out.logicalPath += "/";
    out.logicalPath.append(s);
    i = end + 1;
  }

  // The file keeps the name and the long path with 16-bit lengths: longer
  // ones would not read back as this object's.
  if (out.logicalPath.size() > 0xFFFF) return false;
  out.site = safeStoredPath(site);
  out.path = safeStoredPath(out.logicalPath);
  if (rootLength + 1 + out.path.size() >= kLongStoredPath) {
    out.longPath = true;
    out.path = out.site + "/" + longPathFolder(out.logicalPath);
  }
  return true;
}

}  // namespace kivra
