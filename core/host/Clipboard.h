#pragma once
// The system clipboard, for cut, copy and paste in text fields. No text
// fields exist yet; plain text is what they will exchange.
#include <string>

namespace kivra {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual std::string clipboardText() = 0;
  virtual void setClipboardText(const std::string& text) = 0;
};

// Keeps nothing: pasting gives empty text.
class NullClipboard : public Clipboard {
 public:
  std::string clipboardText() override { return {}; }
  void setClipboardText(const std::string& text) override { (void)text; }
};

}  // namespace kivra
