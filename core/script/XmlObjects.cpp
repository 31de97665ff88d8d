#include "core/script/XmlObjects.h"

#include "core/script/ScriptEngine.h"

namespace kivra {

namespace {

// What a node keeps of the script side.
class XmlNodePeer : public XmlNodeExtra {
 public:
  ScriptObject* object = nullptr;  // the node's object while it lives (not held)
  ScriptValue attributes;          // the attributes object once made (held)
};

XmlNodePeer* peerOf(const XmlNode& n) { return static_cast<XmlNodePeer*>(n.extra()); }

XmlNodePeer& makePeer(XmlNode& n) {
  if (!n.extra()) n.setExtra(std::make_unique<XmlNodePeer>());
  return *peerOf(n);
}

ScriptObject* nodePrototype(ScriptEngine& e) {
  ScriptValue ctor, proto;
  if (!e.getMember(e.global(), "XMLNode", ctor, false)) return nullptr;
  ScriptObject* c = e.toObject(ctor);
  if (!c || !e.getMember(c, "prototype", proto, false)) return nullptr;
  return e.toObject(proto);
}

}  // namespace

XmlNodeState::~XmlNodeState() {
  if (XmlNodePeer* p = peerOf(*node_); p && p->object == self_) p->object = nullptr;
}

namespace xml {

XmlNodeState* stateOf(ScriptObject* o) {
  if (!o || o->classTag() != ClassTag::XmlNode) return nullptr;
  return static_cast<XmlNodeState*>(o->nativeState());
}

XmlNode* nodeOf(ScriptEngine& e, const ScriptValue& v) {
  XmlNodeState* s = stateOf(e.toObject(v));
  return s ? &s->node() : nullptr;
}

void bind(ScriptObject* o, const XmlNodeRef& node, bool document) {
  o->setClassTag(ClassTag::XmlNode);
  o->setNativeState(std::make_unique<XmlNodeState>(node, o, document));
  makePeer(*node).object = o;
}

ScriptValue objectFor(ScriptEngine& e, XmlNode* node) {
  if (!node) return ScriptValue::null();
  if (XmlNodePeer* p = peerOf(*node); p && p->object) return ScriptValue::object(p->object);
  ScriptObject* o = e.newObject();
  ScriptValue held = ScriptValue::object(o);
  if (ScriptObject* proto = nodePrototype(e)) o->protoProperty()->value = ScriptValue::object(proto);
  bind(o, XmlNodeRef(node), false);
  return held;
}

ScriptValue attributesObject(ScriptEngine& e, XmlNode& node) {
  XmlNodePeer& p = makePeer(node);
  if (!p.attributes.isObject()) {
    ScriptObject* o = e.newObject();
    p.attributes = ScriptValue::object(o);
    for (const XmlAttribute& a : node.attributes) e.setMember(o, a.name, e.makeString(a.value));
  }
  return p.attributes;
}

void syncAttributes(ScriptEngine& e, XmlNode& root, bool subtree) {
  std::vector<XmlNodeRef> nodes;
  std::vector<XmlNode*> work{&root};
  while (!work.empty()) {
    XmlNode* n = work.back();
    work.pop_back();
    if (XmlNodePeer* p = peerOf(*n); p && p->attributes.isObject()) nodes.emplace_back(n);
    if (subtree)
      for (size_t i = n->childCount(); i-- > 0;) work.push_back(n->child(i));
  }
  // The values are read first and converted after: a conversion may run a
  // script, which may change the object or the tree.
  std::vector<std::pair<std::string, ScriptValue>> members;
  for (const XmlNodeRef& n : nodes) {
    XmlNodePeer* p = peerOf(*n);
    if (!p) continue;
    const ScriptValue holder = p->attributes;
    ScriptObject* o = holder.asObject();
    if (!o) continue;
    members.clear();
    for (const Property* q = o->firstProperty(); q; q = q->next)
      if (!(q->flags & kDontEnum) && !q->accessor) members.emplace_back(q->name, q->value);
    std::vector<XmlAttribute> list;
    list.reserve(members.size());
    for (auto& [name, value] : members) list.push_back(XmlAttribute{name, e.toStdString(value)});
    n->attributes = std::move(list);
  }
}

XmlTokenizerOptions parseOptions(ScriptEngine& e, ScriptObject* document) {
  XmlTokenizerOptions options;
  options.newerRules = e.version() >= 6;
  options.utf8 = e.version() >= 6;
  if (document) {
    ScriptValue ignore;
    e.getMember(document, "ignoreWhite", ignore);
    options.ignoreWhite = e.toBoolean(ignore);
  }
  return options;
}

void parseInto(ScriptEngine& e, ScriptObject* document, std::string_view text) {
  XmlNodeState* s = stateOf(document);
  if (!s) return;
  const XmlNodeRef keep = s->nodeRef();
  const XmlTokenizerOptions options = parseOptions(e, document);
  e.deleteMember(document, "xmlDecl");
  e.deleteMember(document, "docTypeDecl");
  const XmlParseResult r = parseXml(*keep, text, options);
  if (text.size() >= ScriptEngine::kLargeString) e.checkSoon();
  if (!r.xmlDecl.empty()) e.setMember(document, "xmlDecl", e.makeString(r.xmlDecl));
  if (!r.docTypeDecl.empty()) e.setMember(document, "docTypeDecl", e.makeString(r.docTypeDecl));
  // Objects of the elements with ids; the nodes stay in the tree while
  // they are made (nothing runs a script here).
  std::vector<std::pair<std::string, XmlNodeRef>> ids;
  for (XmlNode* n : r.withIds)
    for (const XmlAttribute& a : n->attributes)
      if (a.name == "id") {
        ids.emplace_back(a.value, XmlNodeRef(n));
        break;
      }
  for (auto& [id, node] : ids)
    if (!id.empty()) e.setMember(document, id, objectFor(e, node.get()));
  e.setMember(document, "status", ScriptValue::number(r.status));
}

std::string stringForm(ScriptEngine& e, ScriptObject* o) {
  XmlNodeState* s = stateOf(o);
  if (!s) return std::string();
  const XmlNodeRef keep = s->nodeRef();
  std::string out;
  if (s->document()) {
    for (const char* name : {"xmlDecl", "docTypeDecl"}) {
      ScriptValue v;
      if (e.getMember(o, name, v) && !v.isNullish()) out += e.toStdString(v);
    }
  }
  syncAttributes(e, *keep, true);
  writeXml(*keep, out);
  return out;
}

}  // namespace xml
}  // namespace kivra
