#include "core/format/TagCodes.h"

#include <cstring>

namespace kivra {

namespace {
struct TagInfo {
  uint16_t code;
  const char* name;
  bool definition;
};
constexpr TagInfo kTags[] = {
#define KIVRA_TAG_INFO(code, name, def) {code, #name, def},
    KIVRA_TAG_TABLE(KIVRA_TAG_INFO)
#undef KIVRA_TAG_INFO
};

const TagInfo* find(uint16_t code) {
  for (const TagInfo& t : kTags)
    if (t.code == code) return &t;
  return nullptr;
}
}  // namespace

const char* tagName(uint16_t code) {
  const TagInfo* t = find(code);
  return t ? t->name : nullptr;
}

bool tagCodeByName(const char* name, uint16_t& code) {
  for (const TagInfo& t : kTags) {
    if (std::strcmp(t.name, name) == 0) {
      code = t.code;
      return true;
    }
  }
  return false;
}

bool isDefinitionTag(uint16_t code) {
  const TagInfo* t = find(code);
  return t && t->definition;
}

}  // namespace kivra
