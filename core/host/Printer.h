#pragma once
// Printing. The player cannot print yet; the interface only says whether the
// host could, and grows with the first print job.

namespace kivra {

class Printer {
 public:
  virtual ~Printer() = default;
  virtual bool printerAvailable() = 0;
};

// No printer.
class NullPrinter : public Printer {
 public:
  bool printerAvailable() override { return false; }
};

}  // namespace kivra
