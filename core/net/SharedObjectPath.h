#pragma once
// Where a local shared object's file lives below the shared-object root,
// and which names may be used: the site's folder (the movie's host, or
// "localhost" for a movie from a file), the movie's path or the local path
// the movie chose, then the object's name with ".sol". Paths use "/" and
// are relative to the root.
//
// Nothing built here leaves the root: every folder and file name is
// non-empty, never "." or "..", holds no control byte, and is at most
// kMaxStoredNameLength bytes long; a path that breaks this is refused.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kivra {

// Linux file names hold at most 255 bytes.
constexpr size_t kMaxStoredNameLength = 255;
// Full paths this long or longer are kept in a hashed folder of the site.
constexpr size_t kLongStoredPath = 260;
// The path of the settings movies' own objects.
constexpr std::string_view kSettingsPath = "/support/kivraplayer/sys/";

struct SharedObjectPlace {
  std::string name;         // the object's name, a leading "/" dropped
  std::string site;         // the site's folder, made safe
  std::string logicalPath;  // site, path folders and file name as built, before they are made safe
  // A short path: the file itself. A long one: the hashed folder, in which
  // the file is found by the logical path it stores.
  std::string path;
  bool longPath = false;
  bool settingsScope = false;  // the movie's path is below kSettingsPath
};

// The name rules: non-empty; no byte below 0x20; none of ~ & \ ; : " ' , < > ?
// space #; no "//"; no "../" at the start or after a "/".
bool sharedObjectNameAllowed(std::string_view name);

// The place of object `name` for a movie at `movieUrl` (a local path, a
// file URL or a network URL); `localPath` (null when not given) must be a
// leading part of the movie's path and replaces it. `rootLength` is the
// length of the root's full path. False when the name or the path is
// refused.
bool placeSharedObject(std::string_view movieUrl, std::string_view name, const std::string* localPath,
                       size_t rootLength, SharedObjectPlace& out);

// The site folder of a movie URL ("" when it has none).
std::string sharedObjectSite(std::string_view movieUrl);

// The hashed folder name of a logical path: "##" and 16 hex digits.
std::string longPathFolder(std::string_view logicalPath);

// Bytes of 0x80 and above as "H#L" (their hex digits around "#"), and names
// longer than kMaxStoredNameLength cut, counting from the end, into pieces
// joined by "#/". `path` is "/"-separated.
std::string safeStoredPath(std::string_view path);

}  // namespace kivra
