// XMLNode and XML (native class 253): the constructors, the node methods,
// the document methods and the node properties, read and written through
// accessors on XMLNode.prototype. Methods called on an object that is not a
// node do nothing.
#include "core/script/XmlObjects.h"
#include "core/script/natives/NativeTable.h"

namespace kivra {

namespace {

enum XmlMethod : uint16_t {
  kNodeConstructor = 0,
  kCloneNode = 1,
  kRemoveNode = 2,
  kInsertBefore = 3,
  kAppendChild = 4,
  kHasChildNodes = 5,
  kToString = 6,
  kDocumentConstructor = 7,
  kCreateElement = 8,
  kCreateTextNode = 9,
  kParseXml = 10,
  // Property accessors: 100 + the property index, even to read, odd to write.
  kGetAttributes = 100,
  kGetChildNodes = 102,
  kGetFirstChild = 104,
  kGetLastChild = 106,
  kGetNextSibling = 108,
  kGetNodeName = 110,
  kSetNodeName = 111,
  kGetNodeType = 112,
  kGetNodeValue = 114,
  kSetNodeValue = 115,
  kGetParentNode = 116,
  kGetPreviousSibling = 118,
};

XmlNode* self(NativeCall& c) { return xml::nodeOf(c.engine, c.thisValue); }

// The object a constructor fills: the new object, or `this` when a
// subclass's constructor calls it through `super`.
ScriptObject* constructed(NativeCall& c) {
  ScriptObject* o = c.thisValue.asObject();
  if (!o || o->nativeState()) return nullptr;
  if (c.construct) return o;
  return o->classTag() == ClassTag::Object && o != c.engine.global() ? o : nullptr;
}

void constructNode(NativeCall& c) {  // new XMLNode(type, nameOrValue)
  ScriptObject* o = constructed(c);
  if (!o) return;
  ScriptEngine& e = c.engine;
  const XmlNode::Type type = integerArg(c, 0) == XmlNode::kText ? XmlNode::kText : XmlNode::kElement;
  xml::bind(o, XmlNode::make(type, argPresent(c, 1) ? e.toStdString(c.args[1]) : std::string()), false);
}

void constructDocument(NativeCall& c) {  // new XML([text])
  ScriptObject* o = constructed(c);
  if (!o) return;
  ScriptEngine& e = c.engine;
  xml::bind(o, XmlNode::make(XmlNode::kElement), true);
  if (argPresent(c, 0)) xml::parseInto(e, o, e.toStdString(c.args[0]));
}

void cloneNode(NativeCall& c) {  // cloneNode(deep)
  XmlNode* n = self(c);
  if (!n) return;
  ScriptEngine& e = c.engine;
  const XmlNodeRef keep(n);
  const bool deep = c.argc > 0 && e.toBoolean(c.args[0]);
  xml::syncAttributes(e, *n, deep);
  const XmlNodeRef copy = n->clone(deep);
  c.result = xml::objectFor(e, copy.get());
}

void removeNode(NativeCall& c) {
  if (XmlNode* n = self(c)) n->remove();
}

void insertBefore(NativeCall& c) {  // insertBefore(node, before)
  XmlNode* n = self(c);
  if (!n || c.argc < 1) return;
  ScriptEngine& e = c.engine;
  XmlNode* child = xml::nodeOf(e, c.args[0]);
  if (!child) return;
  if (c.argc < 2 || c.args[1].isUndefined()) {
    n->appendChild(XmlNodeRef(child));
    return;
  }
  if (XmlNode* before = xml::nodeOf(e, c.args[1])) n->insertBefore(XmlNodeRef(child), before);
}

void appendChild(NativeCall& c) {  // appendChild(node)
  XmlNode* n = self(c);
  XmlNode* child = n && c.argc > 0 ? xml::nodeOf(c.engine, c.args[0]) : nullptr;
  if (child) n->appendChild(XmlNodeRef(child));
}

void hasChildNodes(NativeCall& c) {
  if (XmlNode* n = self(c)) c.result = ScriptValue::boolean(n->childCount() > 0);
}

void toString(NativeCall& c) {
  ScriptEngine& e = c.engine;
  ScriptObject* o = e.toObject(c.thisValue);
  if (!xml::stateOf(o)) return;
  c.result = e.makeString(xml::stringForm(e, o));
}

void createElement(NativeCall& c) {  // createElement(name)
  ScriptEngine& e = c.engine;
  const XmlNodeRef n = XmlNode::make(XmlNode::kElement, argPresent(c, 0) ? e.toStdString(c.args[0]) : "");
  c.result = xml::objectFor(e, n.get());
}

void createTextNode(NativeCall& c) {  // createTextNode(text)
  ScriptEngine& e = c.engine;
  const XmlNodeRef n = XmlNode::make(XmlNode::kText, argPresent(c, 0) ? e.toStdString(c.args[0]) : "");
  c.result = xml::objectFor(e, n.get());
}

void parseXml(NativeCall& c) {  // parseXML(text)
  ScriptEngine& e = c.engine;
  ScriptObject* o = e.toObject(c.thisValue);
  if (!xml::stateOf(o) || c.argc < 1) return;
  xml::parseInto(e, o, e.toStdString(c.args[0]));
}

void property(NativeCall& c) {
  XmlNode* n = self(c);
  if (!n) return;
  ScriptEngine& e = c.engine;
  const XmlNodeRef keep(n);
  switch (c.method) {
    case kGetAttributes:
      c.result = xml::attributesObject(e, *n);
      return;
    case kGetChildNodes: {
      ScriptObject* a = e.newArray();
      c.result = ScriptValue::object(a);
      for (size_t i = 0; i < n->childCount(); ++i) {
        if (!nativeStep(e)) return;
        e.setMember(a, indexName(static_cast<double>(i)), xml::objectFor(e, n->child(i)));
      }
      return;
    }
    case kGetFirstChild:
      c.result = xml::objectFor(e, n->firstChild());
      return;
    case kGetLastChild:
      c.result = xml::objectFor(e, n->lastChild());
      return;
    case kGetNextSibling:
      c.result = xml::objectFor(e, n->nextSibling());
      return;
    case kGetPreviousSibling:
      c.result = xml::objectFor(e, n->previousSibling());
      return;
    case kGetParentNode:
      c.result = xml::objectFor(e, n->parent());
      return;
    case kGetNodeType:
      c.result = ScriptValue::number(n->type());
      return;
    case kGetNodeName:
      c.result = n->name.empty() ? ScriptValue::null() : e.makeString(n->name);
      return;
    case kGetNodeValue:
      c.result = n->type() != XmlNode::kText && n->value.empty() ? ScriptValue::null() : e.makeString(n->value);
      return;
    case kSetNodeName:
      if (c.argc > 0) n->name = e.toStdString(c.args[0]);
      return;
    case kSetNodeValue:
      if (c.argc > 0) n->value = e.toStdString(c.args[0]);
      return;
    default:
      return;
  }
}

constexpr NativeMethod kXmlMethods[] = {
    {kNodeConstructor, "XMLNode", constructNode},
    {kCloneNode, "cloneNode", cloneNode},
    {kRemoveNode, "removeNode", removeNode},
    {kInsertBefore, "insertBefore", insertBefore},
    {kAppendChild, "appendChild", appendChild},
    {kHasChildNodes, "hasChildNodes", hasChildNodes},
    {kToString, "toString", toString},
    {kDocumentConstructor, "XML", constructDocument},
    {kCreateElement, "createElement", createElement},
    {kCreateTextNode, "createTextNode", createTextNode},
    {kParseXml, "parseXML", parseXml},
    {kGetAttributes, "attributes", property},
    {kGetChildNodes, "childNodes", property},
    {kGetFirstChild, "firstChild", property},
    {kGetLastChild, "lastChild", property},
    {kGetNextSibling, "nextSibling", property},
    {kGetNodeName, "nodeName", property},
    {kSetNodeName, "nodeName (write)", property},
    {kGetNodeType, "nodeType", property},
    {kGetNodeValue, "nodeValue", property},
    {kSetNodeValue, "nodeValue (write)", property},
    {kGetParentNode, "parentNode", property},
    {kGetPreviousSibling, "previousSibling", property},
};

}  // namespace

const NativeClass kXmlNatives{kNativeXml, "XML", kXmlMethods};

}  // namespace kivra
