#include "core/print/PrintFlags.h"

#include "core/format/CaseInsensitive.h"

namespace kivra {

uint8_t printFlagsOfUrl(std::string_view url) {
  uint8_t flags = kPrintFromScript;
  std::string_view area;
  if (startsWithIgnoringCase(url, "PrintAsBitmap:")) {
    flags |= kPrintAsBitmap;
    area = url.substr(14);
  } else if (startsWithIgnoringCase(url, "Print:")) {
    area = url.substr(6);
  } else {
    return 0;
  }
  if (area == "#bframe") flags |= kPrintAreaFrame;
  else if (area == "#bmax") flags |= kPrintAreaMax;
  return flags;
}

}  // namespace kivra
