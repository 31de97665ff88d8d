#include "core/net/XmlNode.h"

namespace kivra {

XmlNodeRef XmlNode::make(Type type, std::string_view nameOrValue) {
  XmlNodeRef n(new XmlNode(type));
  if (type == kText) n->value.assign(nameOrValue);
  else n->name.assign(nameOrValue);
  return n;
}

void XmlNode::destroy(XmlNode* n) {
  // Children whose last holder is the node going away go with it, from a
  // list rather than by recursion.
  std::vector<XmlNode*> doomed{n};
  while (!doomed.empty()) {
    XmlNode* d = doomed.back();
    doomed.pop_back();
    for (XmlNodeRef& c : d->children_) {
      XmlNode* k = c.node_;
      c.node_ = nullptr;
      k->parent_ = nullptr;
      if (--k->refs_ == 0) doomed.push_back(k);
    }
    delete d;
  }
}

bool XmlNode::contains(const XmlNode* n) const {
  // A leaf contains only itself: appending new nodes one under another
  // stays linear however deep the chain grows.
  if (children_.empty()) return n == this;
  for (; n; n = n->parent_)
    if (n == this) return true;
  return false;
}

void XmlNode::reindexFrom(size_t i) {
  for (; i < children_.size(); ++i) children_[i]->index_ = i;
}

bool XmlNode::appendChild(const XmlNodeRef& n) {
  if (!n || n->parent_ == this || n->contains(this)) return false;
  XmlNodeRef keep = n;
  keep->remove();
  keep->parent_ = this;
  keep->index_ = children_.size();
  children_.push_back(std::move(keep));
  return true;
}

bool XmlNode::insertBefore(const XmlNodeRef& n, const XmlNode* before) {
  if (!n || !before || before->parent_ != this || n->parent_ == this || n->contains(this)) return false;
  XmlNodeRef keep = n;
  keep->remove();
  const size_t at = before->index_;
  keep->parent_ = this;
  children_.insert(children_.begin() + static_cast<std::ptrdiff_t>(at), std::move(keep));
  reindexFrom(at);
  return true;
}

void XmlNode::remove() {
  XmlNode* p = parent_;
  if (!p) return;
  XmlNodeRef keep(this);  // the parent's reference may be the last
  const size_t at = index_;
  p->children_.erase(p->children_.begin() + static_cast<std::ptrdiff_t>(at));
  p->reindexFrom(at);
  parent_ = nullptr;
  index_ = 0;
}

void XmlNode::removeAllChildren() {
  std::vector<XmlNodeRef> old;
  old.swap(children_);
  for (XmlNodeRef& c : old) {
    c->parent_ = nullptr;
    c->index_ = 0;
  }
}

XmlNodeRef XmlNode::clone(bool deep) const {
  auto copyOne = [](const XmlNode& s) {
    XmlNodeRef c(new XmlNode(s.type_));
    c->name = s.name;
    c->value = s.value;
    c->attributes = s.attributes;
    return c;
  };
  XmlNodeRef root = copyOne(*this);
  if (!deep) return root;
  std::vector<std::pair<const XmlNode*, XmlNode*>> work{{this, root.get()}};
  while (!work.empty()) {
    auto [from, to] = work.back();
    work.pop_back();
    for (const XmlNodeRef& c : from->children_) {
      XmlNodeRef copy = copyOne(*c);
      XmlNode* raw = copy.get();
      to->appendChild(copy);
      work.emplace_back(c.get(), raw);
    }
  }
  return root;
}

XmlParseResult parseXml(XmlNode& document, std::string_view text, const XmlTokenizerOptions& options) {
  XmlParseResult result;
  document.removeAllChildren();
  XmlTokenizer tokenizer(text, options);
  XmlTokenData token;
  XmlNode* current = &document;
  size_t depth = 0;
  for (;;) {
    const int kind = tokenizer.next(token);
    if (kind == kXmlTokenEnd) break;
    if (kind < 0) {
      result.status = kind;
      return result;
    }
    switch (kind) {
      case kXmlTokenDeclaration:
        result.xmlDecl += token.name;
        break;
      case kXmlTokenDocType:
        result.docTypeDecl = std::move(token.name);
        break;
      case kXmlTokenText:
      case kXmlTokenCData: {
        XmlNodeRef t = XmlNode::make(XmlNode::kText);
        t->value = std::move(token.name);
        current->appendChild(t);
        break;
      }
      case kXmlTokenElement: {
        if (!token.name.empty() && token.name[0] == '/') {
          const std::string_view rest = std::string_view(token.name).substr(1);
          if (current != &document && rest == current->name) {
            current = current->parent();
            --depth;
            break;
          }
          XmlNode* up = current != &document ? current->parent() : nullptr;
          result.status = up && rest == up->name ? kXmlElementOpen : kXmlEndTagUnmatched;
          return result;
        }
        XmlNodeRef e = XmlNode::make(XmlNode::kElement);
        e->name = std::move(token.name);
        e->attributes = std::move(token.attributes);
        current->appendChild(e);
        for (const XmlAttribute& a : e->attributes)
          if (a.name == "id") {
            result.withIds.push_back(e.get());
            break;
          }
        if (!token.empty) {
          if (depth >= kMaxXmlDepth) {
            result.status = kXmlOutOfMemory;
            return result;
          }
          current = e.get();
          ++depth;
        }
        break;
      }
      default:
        break;
    }
  }
  if (current != &document) result.status = kXmlElementOpen;
  return result;
}

void writeXml(const XmlNode& node, std::string& out) {
  struct Step {
    const XmlNode* node;
    size_t next;  // the next child to write
  };
  std::vector<Step> stack;
  auto open = [&out, &stack](const XmlNode& n) {
    if (n.type() == XmlNode::kText) {
      escapeXmlText(n.value, out);
      return;
    }
    if (!n.name.empty()) {
      out += '<';
      out += n.name;
      for (const XmlAttribute& a : n.attributes) {
        out += ' ';
        out += a.name;
        out += "=\"";
        escapeXmlText(a.value, out);
        out += '"';
      }
      // The space keeps the name apart from the slash: the text parses
      // back as the same element.
      if (n.childCount() == 0) {
        out += " />";
        return;
      }
      out += '>';
    }
    stack.push_back(Step{&n, 0});
  };
  open(node);
  while (!stack.empty()) {
    Step& s = stack.back();
    if (s.next < s.node->childCount()) {
      open(*s.node->child(s.next++));
      continue;
    }
    if (!s.node->name.empty()) {
      out += "</";
      out += s.node->name;
      out += '>';
    }
    stack.pop_back();
  }
}

}  // namespace kivra
