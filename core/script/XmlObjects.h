#pragma once
// The script side of XML trees: the object that stands for a node, made on
// demand and found again while it lives, and the `attributes` object that
// scripts edit in place of the node's attribute list.
//
// Ownership: a node's object holds the node (XmlNodeState); the node keeps
// only a plain pointer back, cleared when the object goes. The node holds
// its attributes object once one was made, so edits made through it last as
// long as the node. Everything runs on the player's thread.
#include <string>
#include <vector>

#include "core/net/XmlNode.h"
#include "core/script/ScriptObject.h"

namespace kivra {

class ScriptEngine;

// The native state of an XMLNode or XML object.
class XmlNodeState : public NativeState {
 public:
  XmlNodeState(XmlNodeRef node, ScriptObject* self, bool document)
      : node_(std::move(node)), self_(self), document_(document) {}
  ~XmlNodeState() override;
  XmlNode& node() const { return *node_; }
  const XmlNodeRef& nodeRef() const { return node_; }
  // Made by the XML constructor: its string form starts with its declarations.
  bool document() const { return document_; }

 private:
  XmlNodeRef node_;
  ScriptObject* self_;
  bool document_;
};

namespace xml {

// The node behind an object, or null.
XmlNodeState* stateOf(ScriptObject* o);
XmlNode* nodeOf(ScriptEngine& e, const ScriptValue& v);

// Makes `o` the object of `node` (a new object or one being constructed).
void bind(ScriptObject* o, const XmlNodeRef& node, bool document);
// The node's object: the one it has, or a new one whose prototype is
// XMLNode.prototype.
ScriptValue objectFor(ScriptEngine& e, XmlNode* node);
// The node's attributes object, made from its list on first request.
ScriptValue attributesObject(ScriptEngine& e, XmlNode& node);
// Copies every attributes object of the subtree (or of the node alone)
// back into the node lists, before they are read natively.
void syncAttributes(ScriptEngine& e, XmlNode& root, bool subtree);

// The tokenizer's options for the running movie, with the document's
// `ignoreWhite` when a document is given.
XmlTokenizerOptions parseOptions(ScriptEngine& e, ScriptObject* document);
// parseXML: replaces the tree of `document` and sets status, xmlDecl,
// docTypeDecl and the id properties.
void parseInto(ScriptEngine& e, ScriptObject* document, std::string_view text);
// The string form of a node's object: a document's declarations, then the tree.
std::string stringForm(ScriptEngine& e, ScriptObject* o);

}  // namespace xml
}  // namespace kivra
