#pragma once
// The XML document tree: element and text nodes with ordered attributes and
// ordered children. Nodes are reference counted (XmlNodeRef): a parent holds
// its children, and whoever else needs a node (a script object) holds it
// too, so a node removed from its tree lives on while it is held. A parent
// link is a plain pointer, cleared when the parent lets go.
//
// Trees may be as deep as scripts make them: nothing here recurses over the
// tree (freeing, cloning, searching and writing all use explicit stacks).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/net/XmlTokenizer.h"

namespace kivra {

class XmlNode;

// An owning handle on a node.
class XmlNodeRef {
 public:
  XmlNodeRef() = default;
  explicit XmlNodeRef(XmlNode* n);  // adds a reference
  XmlNodeRef(const XmlNodeRef& o) : XmlNodeRef(o.node_) {}
  XmlNodeRef(XmlNodeRef&& o) noexcept : node_(o.node_) { o.node_ = nullptr; }
  XmlNodeRef& operator=(XmlNodeRef o) noexcept {
    std::swap(node_, o.node_);
    return *this;
  }
  ~XmlNodeRef();
  XmlNode* get() const { return node_; }
  XmlNode* operator->() const { return node_; }
  XmlNode& operator*() const { return *node_; }
  explicit operator bool() const { return node_ != nullptr; }

 private:
  friend class XmlNode;
  XmlNode* node_ = nullptr;
};

// What the layer above keeps with a node (its script object); the node owns it.
class XmlNodeExtra {
 public:
  virtual ~XmlNodeExtra() = default;
};

class XmlNode {
 public:
  enum Type : uint8_t { kElement = 1, kText = 3 };

  static XmlNodeRef make(Type type, std::string_view nameOrValue = {});
  XmlNode(const XmlNode&) = delete;
  XmlNode& operator=(const XmlNode&) = delete;

  Type type() const { return type_; }
  // Element name (empty for a document) and text value. Either may be set
  // on either kind of node; only the one of its kind is written out.
  std::string name;
  std::string value;
  std::vector<XmlAttribute> attributes;

  // ---- Links --------------------------------------------------------------
  XmlNode* parent() const { return parent_; }
  size_t childCount() const { return children_.size(); }
  XmlNode* child(size_t i) const { return i < children_.size() ? children_[i].get() : nullptr; }
  XmlNode* firstChild() const { return child(0); }
  XmlNode* lastChild() const { return children_.empty() ? nullptr : children_.back().get(); }
  XmlNode* nextSibling() const { return parent_ ? parent_->child(index_ + 1) : nullptr; }
  XmlNode* previousSibling() const { return parent_ && index_ > 0 ? parent_->child(index_ - 1) : nullptr; }
  // True when this node is `n` or one of its ancestors.
  bool contains(const XmlNode* n) const;

  // ---- Changes ------------------------------------------------------------
  // Moves `n` to the end of this node's children. Nothing happens (false)
  // when it already is a child, or when it is this node or an ancestor (a
  // tree never holds itself).
  bool appendChild(const XmlNodeRef& n);
  // Moves `n` directly before `before`, a child of this node. Nothing
  // happens (false) when `before` is not a child, `n` already is one, or `n`
  // is this node or an ancestor.
  bool insertBefore(const XmlNodeRef& n, const XmlNode* before);
  // Takes this node out of its parent's children.
  void remove();
  void removeAllChildren();
  // A parentless copy: name, value and attributes, and with `deep` copies of
  // every descendant. The extras are not copied.
  XmlNodeRef clone(bool deep) const;

  XmlNodeExtra* extra() const { return extra_.get(); }
  void setExtra(std::unique_ptr<XmlNodeExtra> e) { extra_ = std::move(e); }

  void retain() { ++refs_; }
  void release() {
    if (--refs_ == 0) destroy(this);
  }

 private:
  explicit XmlNode(Type type) : type_(type) {}
  ~XmlNode() = default;
  static void destroy(XmlNode* n);
  void reindexFrom(size_t i);

  Type type_;
  uint32_t refs_ = 0;
  XmlNode* parent_ = nullptr;
  size_t index_ = 0;  // in the parent's children
  std::vector<XmlNodeRef> children_;
  std::unique_ptr<XmlNodeExtra> extra_;
};

inline XmlNodeRef::XmlNodeRef(XmlNode* n) : node_(n) {
  if (n) n->retain();
}
inline XmlNodeRef::~XmlNodeRef() {
  if (node_) node_->release();
}

// ---- Documents ----------------------------------------------------------------

// Deeper nesting stops a parse with kXmlOutOfMemory.
constexpr size_t kMaxXmlDepth = 10000;

struct XmlParseResult {
  int status = kXmlOk;
  std::string xmlDecl;      // every declaration met, one after another
  std::string docTypeDecl;  // the last DOCTYPE met
  // Elements with an "id" attribute, in document order (owned by the tree).
  std::vector<XmlNode*> withIds;
};

// Replaces the children of `document` with the tree read from `text`. The
// first error stops the parse; what was built until then stays.
XmlParseResult parseXml(XmlNode& document, std::string_view text, const XmlTokenizerOptions& options);

// Appends the string form of a node and its descendants. An element without
// a name writes only its children; a document's declarations are the
// caller's to write first.
void writeXml(const XmlNode& node, std::string& out);

}  // namespace kivra
