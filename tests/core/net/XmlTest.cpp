// The XML tokenizer, tree and string form, through parseXml and writeXml.
#include <gtest/gtest.h>

#include <string>

#include "core/net/XmlNode.h"

namespace kivra {
namespace {

struct Parsed {
  XmlNodeRef doc = XmlNode::make(XmlNode::kElement);
  XmlParseResult result;
  std::string text() const {
    std::string out = result.xmlDecl + result.docTypeDecl;
    writeXml(*doc, out);
    return out;
  }
};

Parsed parse(std::string_view text, XmlTokenizerOptions options = {}) {
  Parsed p;
  p.result = parseXml(*p.doc, text, options);
  return p;
}

TEST(XmlTest, EveryStatusCode) {
  const struct {
    const char* text;
    int status;
  } cases[] = {
      {"<a><b>x</b></a>", kXmlOk},
      {"<a><![CDATA[x]]></a>", kXmlOk},
      {"<a><![CDATA[x]]</a>", kXmlCDataOpen},
      {"<?xml version=\"1.0\"", kXmlDeclarationOpen},
      {"<!DOCTYPE a [<!ELEMENT a ANY>]>", kXmlOk},
      {"<!DOCTYPE a [<!ELEMENT a ANY>]", kXmlDocTypeOpen},
      {"<a><!-- note -- still open", kXmlCommentOpen},
      {"<a b=c />", kXmlMalformedElement},   // unquoted value
      {"<a b />", kXmlMalformedElement},     // no "="
      {"<a b=\"<\" />", kXmlMalformedElement},
      {"<>", kXmlMalformedElement},          // empty name
      {"<a", kXmlMalformedElement},          // the end inside a tag
      {"<a b=\"x", kXmlValueOpen},
      {"<a b=\"x\ny\" />", kXmlValueOpen},   // a line break inside the quotes
      {"<a b='x\ry' />", kXmlValueOpen},
      {"<a><b></a>", kXmlElementOpen},       // b never closed, then a's end tag
      {"<a>", kXmlElementOpen},              // a never closed
      {"<a></b>", kXmlEndTagUnmatched},
      {"</a>", kXmlEndTagUnmatched},
  };
  for (const auto& c : cases) EXPECT_EQ(parse(c.text).result.status, c.status) << c.text;
  EXPECT_EQ(parse("<a b=\"x</a>").result.status, kXmlMalformedElement);  // "<" before the end

  // Errors keep what was built so far.
  Parsed p = parse("<a><b>text</b><c x=\"1 2");
  EXPECT_EQ(p.result.status, kXmlValueOpen);
  ASSERT_EQ(p.doc->childCount(), 1u);
  EXPECT_EQ(p.doc->firstChild()->childCount(), 1u);
  EXPECT_EQ(p.text(), "<a><b>text</b></a>");
}

TEST(XmlTest, TokensBuildTheTree) {
  Parsed p = parse(
      "<?xml version=\"1.0\"?><!DOCTYPE greeting><!-- skipped -->"
      "<greeting lang='en' id=\"g1\">Hi &amp; bye<![CDATA[<&amp;>]]><br/><x:y a = \"1\" b=\"2\"></x:y></greeting>");
  ASSERT_EQ(p.result.status, kXmlOk);
  EXPECT_EQ(p.result.xmlDecl, "<?xml version=\"1.0\"?>");
  EXPECT_EQ(p.result.docTypeDecl, "<!DOCTYPE greeting>");
  ASSERT_EQ(p.doc->childCount(), 1u);
  XmlNode* g = p.doc->firstChild();
  EXPECT_EQ(g->name, "greeting");
  ASSERT_EQ(g->attributes.size(), 2u);
  EXPECT_EQ(g->attributes[0], (XmlAttribute{"lang", "en"}));
  ASSERT_EQ(p.result.withIds.size(), 1u);
  EXPECT_EQ(p.result.withIds[0], g);
  ASSERT_EQ(g->childCount(), 4u);
  EXPECT_EQ(g->child(0)->type(), XmlNode::kText);
  EXPECT_EQ(g->child(0)->value, "Hi & bye");      // entities decoded in text
  EXPECT_EQ(g->child(1)->value, "<&amp;>");       // but not in CDATA
  EXPECT_EQ(g->child(2)->name, "br");
  EXPECT_EQ(g->child(2)->childCount(), 0u);
  EXPECT_EQ(g->child(3)->name, "x:y");
  EXPECT_EQ(g->child(3)->attributes[1], (XmlAttribute{"b", "2"}));
  // Links.
  EXPECT_EQ(g->child(1)->nextSibling(), g->child(2));
  EXPECT_EQ(g->child(1)->previousSibling(), g->child(0));
  EXPECT_EQ(g->firstChild()->previousSibling(), nullptr);
  EXPECT_EQ(g->lastChild()->nextSibling(), nullptr);
  EXPECT_EQ(g->parent(), p.doc.get());

  // Every declaration is kept; only the last DOCTYPE. Prefixes ignore case.
  Parsed d = parse("<?XML a?><!doctype x><?xml b?><!DOCTYPE y><r/>");
  EXPECT_EQ(d.result.xmlDecl, "<?XML a?><?xml b?>");
  EXPECT_EQ(d.result.docTypeDecl, "<!DOCTYPE y>");
}

TEST(XmlTest, EntitiesBothWays) {
  std::string out;
  decodeXmlEntities("&lt;&gt;&amp;&quot;&apos;&#65;&#233;&#8364;&nbsp;&bogus;&amp&#x41;&#;&;", true, out);
  EXPECT_EQ(out, "<>&\"'A\xC3\xA9\xE2\x82\xAC\xC2\xA0&bogus;&amp&#x41;&#;&;");
  out.clear();
  decodeXmlEntities("&#65;&#233;&#8364;&nbsp;", false, out);
  EXPECT_EQ(out, std::string("A\xE9\x20\xAC\xA0"));
  // A flood of ampersands and an entity-looking run without its end stay.
  out.clear();
  decodeXmlEntities(std::string(100000, '&') + "lt;", true, out);
  EXPECT_EQ(out, std::string(99999, '&') + "<");

  out.clear();
  escapeXmlText("a<b>&\"'\xC2\xA0", out);
  EXPECT_EQ(out, "a&lt;b&gt;&amp;&quot;&apos;\xC2\xA0");  // no-break space stays

  // Names and values are decoded too, and written escaped.
  Parsed p = parse("<a t=\"&lt;1&gt; &amp; &#34;q&#34;\">x &lt; y</a>");
  ASSERT_EQ(p.result.status, kXmlOk);
  EXPECT_EQ(p.doc->firstChild()->attributes[0].value, "<1> & \"q\"");
  EXPECT_EQ(p.text(), "<a t=\"&lt;1&gt; &amp; &quot;q&quot;\">x &lt; y</a>");
}

TEST(XmlTest, StringFormByteForByte) {
  EXPECT_EQ(parse("<a><b/><c x='1' y=\"2\"></c><d>t</d></a>").text(),
            "<a><b /><c x=\"1\" y=\"2\" /><d>t</d></a>");
  // The serialiser's own output parses back with status 0 into the same text.
  const std::string first = parse("<br/><p a='&apos;'>x<br/>y</p>").text();
  EXPECT_EQ(first, "<br /><p a=\"&apos;\">x<br />y</p>");
  Parsed again = parse(first);
  EXPECT_EQ(again.result.status, kXmlOk);
  EXPECT_EQ(again.text(), first);

  // Hand-built trees: an element without a name writes only its children.
  XmlNodeRef root = XmlNode::make(XmlNode::kElement);
  XmlNodeRef e = XmlNode::make(XmlNode::kElement, "e");
  e->attributes.push_back({"k", "v&"});
  root->appendChild(e);
  e->appendChild(XmlNode::make(XmlNode::kText, "1<2"));
  XmlNodeRef inner = XmlNode::make(XmlNode::kElement);
  inner->appendChild(XmlNode::make(XmlNode::kText, "bare"));
  root->appendChild(inner);
  std::string out;
  writeXml(*root, out);
  EXPECT_EQ(out, "<e k=\"v&amp;\">1&lt;2</e>bare");
}

TEST(XmlTest, WhitespaceAndVersionRules) {
  const char* text = " <a>\n  <b> x </b>\t</a> ";
  Parsed kept = parse(text);
  ASSERT_EQ(kept.result.status, kXmlOk);
  EXPECT_EQ(kept.doc->childCount(), 3u);  // " ", a, " "
  EXPECT_EQ(kept.doc->child(1)->childCount(), 3u);

  XmlTokenizerOptions ignore;
  ignore.ignoreWhite = true;
  Parsed dropped = parse(text, ignore);
  ASSERT_EQ(dropped.result.status, kXmlOk);
  ASSERT_EQ(dropped.doc->childCount(), 1u);
  XmlNode* a = dropped.doc->firstChild();
  ASSERT_EQ(a->childCount(), 1u);
  EXPECT_EQ(a->firstChild()->firstChild()->value, " x ");  // text with more than whitespace stays whole

  // Older movies read whitespace that reaches the end as one more, empty text.
  ignore.newerRules = false;
  Parsed older = parse(text, ignore);
  ASSERT_EQ(older.doc->childCount(), 2u);
  EXPECT_EQ(older.doc->child(1)->value, "");

  // Newer movies drop an encoding the text was converted from.
  Parsed decl = parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r/>");
  EXPECT_EQ(decl.result.xmlDecl, "<?xml version=\"1.0\" ?>");
  Parsed other = parse("<?xml version=\"1.0\" encoding=\"UTF-8\"?><r/>");
  EXPECT_EQ(other.result.xmlDecl, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  XmlTokenizerOptions old;
  old.newerRules = false;
  old.utf8 = false;
  EXPECT_EQ(parse("<?xml encoding='Shift-JIS'?>", old).result.xmlDecl, "<?xml encoding='Shift-JIS'?>");
}

TEST(XmlTest, TreeChanges) {
  Parsed p = parse("<r><a/><b/><c/></r>");
  XmlNode* r = p.doc->firstChild();
  XmlNodeRef a(r->child(0)), b(r->child(1)), c(r->child(2));
  EXPECT_FALSE(r->appendChild(a));  // already a child: stays where it is
  EXPECT_EQ(p.text(), "<r><a /><b /><c /></r>");
  EXPECT_TRUE(r->insertBefore(XmlNode::make(XmlNode::kElement, "n"), a.get()));
  EXPECT_EQ(p.text(), "<r><n /><a /><b /><c /></r>");
  EXPECT_FALSE(r->insertBefore(c, a.get()));  // already a child
  EXPECT_TRUE(b->appendChild(c));             // moved from r into b
  EXPECT_EQ(p.text(), "<r><n /><a /><b><c /></b></r>");
  EXPECT_FALSE(c->appendChild(XmlNodeRef(r)));  // an ancestor: no cycle
  EXPECT_FALSE(c->appendChild(c));
  EXPECT_FALSE(r->insertBefore(a, c.get()));    // c is not r's child
  a->remove();
  EXPECT_EQ(a->parent(), nullptr);
  EXPECT_EQ(p.text(), "<r><n /><b><c /></b></r>");
  EXPECT_EQ(r->child(1), b.get());
  EXPECT_EQ(b->previousSibling()->name, "n");

  XmlNodeRef shallow = r->clone(false);
  XmlNodeRef deep = r->clone(true);
  EXPECT_EQ(shallow->parent(), nullptr);
  EXPECT_EQ(shallow->childCount(), 0u);
  std::string out;
  writeXml(*deep, out);
  EXPECT_EQ(out, "<r><n /><b><c /></b></r>");

  // A held node outlives its tree.
  XmlNodeRef kept(p.doc->firstChild()->firstChild());
  p.doc = XmlNodeRef();
  EXPECT_EQ(kept->name, "n");
  EXPECT_EQ(kept->parent(), nullptr);
}

TEST(XmlTest, HostileInputIsBounded) {
  // Deep nesting is a status, not a deep recursion; the tree built so far
  // goes away without one either.
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  Parsed p = parse(deep);
  EXPECT_EQ(p.result.status, kXmlOutOfMemory);
  std::string nested;
  for (size_t i = 0; i < kMaxXmlDepth; ++i) nested += "<a>";
  for (size_t i = 0; i < kMaxXmlDepth; ++i) nested += "</a>";
  Parsed limit = parse(nested);
  EXPECT_EQ(limit.result.status, kXmlOk);
  nested.replace(kMaxXmlDepth * 3 - 3, 7, "<a />");  // the innermost has no children
  EXPECT_TRUE(limit.text() == nested);
  XmlNodeRef chain = XmlNode::make(XmlNode::kElement, "c");
  XmlNode* tip = chain.get();
  for (int i = 0; i < 200000; ++i) {
    XmlNodeRef n = XmlNode::make(XmlNode::kElement, "c");
    tip->appendChild(n);
    tip = n.get();
  }
  std::string out;
  writeXml(*chain, out);
  EXPECT_EQ(out.size(), 200000u * 7 + 5);
  XmlNodeRef copy = chain->clone(true);
  chain = XmlNodeRef();
  copy = XmlNodeRef();

  // Floods and unterminated sections fail or pass in one sweep.
  EXPECT_EQ(parse("<a>" + std::string(1 << 20, '&') + "</a>").result.status, kXmlOk);
  EXPECT_EQ(parse("<![CDATA[" + std::string(1 << 20, ']')).result.status, kXmlCDataOpen);
  EXPECT_EQ(parse("<!--" + std::string(1 << 20, '-')).result.status, kXmlCommentOpen);
  EXPECT_EQ(parse("<!DOCTYPE" + std::string(1 << 20, '<')).result.status, kXmlDocTypeOpen);
  std::string attrs = "<a";
  for (int i = 0; i < 100000; ++i) attrs += " k=\"v\"";
  Parsed many = parse(attrs + "/>");
  EXPECT_EQ(many.result.status, kXmlOk);
  EXPECT_EQ(many.doc->firstChild()->attributes.size(), 100000u);
}

}  // namespace
}  // namespace kivra
