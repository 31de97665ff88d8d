// URL records, relative resolution, domains, file paths and URL-encoded
// variables, with the cases movies depend on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/format/CodePage.h"
#include "core/net/UrlRecord.h"
#include "core/net/UrlVariables.h"

namespace kivra {
namespace {

TEST(UrlRecordTest, SchemesHostsPortsAndPaths) {
  UrlRecord r = UrlRecord::parse("HTTP://Example.com:8080/a/b.qvx?x=1");
  EXPECT_EQ(r.scheme, UrlScheme::Http);
  EXPECT_EQ(r.host, "Example.com");
  EXPECT_EQ(r.port, 8080);
  EXPECT_EQ(r.path, "/a/b.qvx?x=1");
  r = UrlRecord::parse("https://host");
  EXPECT_EQ(r.port, 443);
  EXPECT_EQ(r.path, "/");
  EXPECT_EQ(UrlRecord::parse("ftp://h/f").scheme, UrlScheme::Ftp);
  r = UrlRecord::parse("rtmpt://h/app");
  EXPECT_EQ(r.scheme, UrlScheme::Rtmp);
  EXPECT_EQ(r.port, -1);
  // Other text keeps an empty record's scheme and port and is all path.
  r = UrlRecord::parse("mailto:someone");
  EXPECT_EQ(r.scheme, UrlScheme::File);
  EXPECT_EQ(r.port, 80);
  EXPECT_EQ(r.path, "mailto:someone");
}

TEST(UrlRecordTest, RelativeUrlsResolveAgainstTheMoviesUrl) {
  const std::string base = "http://h.example/a/b/c.qvx?q=1";
  EXPECT_EQ(resolveUrl(base, "../x.qvx", true), "http://h.example/a/x.qvx");
  EXPECT_EQ(resolveUrl(base, "x.txt?y=2", true), "http://h.example/a/b/x.txt?y=2");
  EXPECT_EQ(resolveUrl(base, "/top.qvx", true), "http://h.example/top.qvx");
  // "../" never climbs above the path's start.
  EXPECT_EQ(resolveUrl(base, "../../../../x", true), "http://h.example/x");
  EXPECT_EQ(resolveUrl("http://h", "x", true), "http://h/x");
  // Absolute URLs stay; a ":" after a "/" does not make one.
  EXPECT_EQ(resolveUrl(base, "ftp://o/f", true), "ftp://o/f");
  EXPECT_EQ(resolveUrl(base, "dir/a:b", true), "http://h.example/a/b/dir/a:b");
  EXPECT_EQ(resolveUrl("file:///home/u/m.qvx", "data/v.txt", true), "file:///home/u/data/v.txt");
  // Not hierarchical: the relative text follows the base and a "/".
  EXPECT_EQ(resolveUrl("rtmp://h/app", "inst", false), "rtmp://h/app/inst");
}

TEST(UrlRecordTest, DomainsCompareByTheLastTwoLabelsOfNamedHosts) {
  EXPECT_EQ(urlDomain("http://www.Kivra.example:81/x"), "kivra.example");
  EXPECT_TRUE(sameDomain("http://a.site.org/m.qvx", "https://b.site.org/v"));
  EXPECT_FALSE(sameDomain("http://a.site.org/", "http://a.other.org/"));
  // Numeric hosts count whole.
  EXPECT_EQ(urlDomain("http://10.0.0.1:8080/"), "10.0.0.1");
  EXPECT_FALSE(sameDomain("http://10.0.0.1/", "http://10.0.0.2/"));
  // No scheme: the text starts with the host.
  EXPECT_EQ(urlDomain("www.site.org/a"), "site.org");
  EXPECT_TRUE(isDataLoadScheme("HTTPS://x"));
  EXPECT_FALSE(isDataLoadScheme("file:///x"));
  EXPECT_FALSE(isDataLoadScheme("javascript:x"));
}

TEST(UrlRecordTest, FileUrlsNameLocalPathsOnly) {
  std::string path;
  ASSERT_TRUE(fileUrlToPath("file:///home/u/My%20Movie.qvx", path));
  EXPECT_EQ(path, "/home/u/My Movie.qvx");
  ASSERT_TRUE(fileUrlToPath("FILE://localhost/tmp/a.txt?x=1", path));
  EXPECT_EQ(path, "/tmp/a.txt");
  EXPECT_FALSE(fileUrlToPath("file://server/share/a.txt", path));
  // A bad escape or an escaped zero byte ends the path.
  ASSERT_TRUE(fileUrlToPath("file:///tmp/a%zzb", path));
  EXPECT_EQ(path, "/tmp/a");
  ASSERT_TRUE(fileUrlToPath("file:///tmp/a%00.txt", path));
  EXPECT_EQ(path, "/tmp/a");
  ASSERT_TRUE(fileUrlToPath(std::string("file:///tmp/b\0.txt", 17), path));
  EXPECT_EQ(path, "/tmp/b");
  EXPECT_EQ(pathToFileUrl("/tmp/a b%.qvx"), "file:///tmp/a%20b%25.qvx");
  ASSERT_TRUE(fileUrlToPath(pathToFileUrl("/tmp/é ?#.qvx"), path));
  EXPECT_EQ(path, "/tmp/é ?#.qvx");
}

std::vector<UrlVariable> decode(std::string_view text, int version, bool useCodepage = false) {
  std::vector<UrlVariable> out;
  decodeUrlVariables(text, version, useCodepage, CodePage::windows1252(), out);
  return out;
}

TEST(UrlVariablesTest, DecodingEscapesPlusSignsAndEncodings) {
  auto v = decode("a=1&b=%41+B&c", 6);
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0].name, "a");
  EXPECT_EQ(v[0].value, "1");
  EXPECT_EQ(v[1].value, "A B");
  EXPECT_EQ(v[2].name, "c");
  EXPECT_EQ(v[2].value, "");
  // A bad first digit drops "%" and it; a bad second digit drops all three.
  v = decode("x=1%G2&y=%4G5&=lost&&z=%", 6);
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0].value, "12");
  EXPECT_EQ(v[1].value, "5");
  EXPECT_EQ(v[2].name, "z");
  EXPECT_EQ(v[2].value, "");
  // Version 6: escaped bytes are UTF-8; with useCodepage they are code page
  // bytes, turned into UTF-8.
  EXPECT_EQ(decode("s=%C3%A9", 6)[0].value, "\xC3\xA9");
  EXPECT_EQ(decode("s=%E9", 6, true)[0].value, "\xC3\xA9");
  EXPECT_EQ(decode("s=%E9&useCodepage=true", 6)[0].value, "\xC3\xA9");
  // Older movies keep code-page bytes as their own text.
  EXPECT_EQ(decode("s=%E9", 5)[0].value, "\xE9");
}

TEST(UrlVariablesTest, EncodingAndGetUrls) {
  const CodePage& cp = CodePage::windows1252();
  const std::vector<UrlVariable> vars{{"a", "1"}, {"name", "K\xC3\xA9 v-r.a"}};
  EXPECT_EQ(encodeUrlVariables(vars, 6, false, cp), "a=1&name=K%C3%A9+v%2Dr%2Ea");
  EXPECT_EQ(encodeUrlVariables(vars, 6, true, cp), "a=1&name=K%E9+v%2Dr%2Ea");
  std::string url = "http://host";
  appendUrlVariables(url, {{"a", "1"}}, 6, false, cp);
  EXPECT_EQ(url, "http://host/?a=1");
  url = "http://host/p?x=2";
  appendUrlVariables(url, vars, 5, false, cp);
  EXPECT_EQ(url, "http://host/p?x=2&a=1&name=K%C3%A9+v%2Dr%2Ea");
  // Round trip.
  const auto back = decode(encodeUrlVariables(vars, 6, false, cp), 6);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[1].value, vars[1].value);
}

}  // namespace
}  // namespace kivra
