#include "core/movie/MovieBitmaps.h"

#include "core/format/TagCodes.h"
#include "core/movie/Character.h"
#include "core/movie/TimelinePlayer.h"
#include "core/render/bitmap/LosslessDecoder.h"

namespace kivra {

void MovieBitmaps::setJpegTables(const uint8_t* data, size_t length) {
  if (tablesData_ || !data) return;
  tablesData_ = data;
  tablesLength_ = length;
}

std::shared_ptr<BitmapImage> MovieBitmaps::bitmap(uint16_t characterId) {
  std::shared_ptr<Character> c = dictionary_.lookup(characterId);
  if (!c || c->kind != CharacterKind::Bitmap) return nullptr;
  Character::BitmapPart* part = c->bitmap();
  if (!part) return nullptr;
  if (!part->image) part->image = std::make_shared<BitmapImage>();
  if (part->image->empty() && !part->failed) {
    // An imported bitmap decodes with its own movie's tables.
    MovieBitmaps& owner = c->owner ? c->owner->bitmaps() : *this;
    if (!owner.decode(*c, *part->image)) part->failed = true;
  }
  return part->image;
}

bool MovieBitmaps::decode(const Character& c, BitmapImage& out) {
  const ReleasePixelsHook hook{[](void* self) { static_cast<MovieBitmaps*>(self)->releaseUnlocked(); }, this};
  switch (static_cast<TagCode>(c.tagCode)) {
    case TagCode::DefineBitsLossless:
    case TagCode::DefineBitsLossless2:
      return decodeLosslessBitmap(c.tagCode, c.data, c.dataLength, out);
    case TagCode::DefineBitsJPEG2:
      return decodeJpegBitmap(c.data, c.dataLength, out, hook);
    case TagCode::DefineBitsJPEG3:
      return decodeJpegAlphaBitmap(c.data, c.dataLength, out, hook);
    case TagCode::DefineBits:
      // Without tables (or with tables that could not be read) no pixels.
      if (!tablesData_ || !tables_.load(tablesData_, tablesLength_)) return false;
      return tables_.decode(c.data, c.dataLength, out, hook);
    default:
      return false;
  }
}

size_t MovieBitmaps::releaseUnlocked() {
  size_t freed = 0;
  dictionary_.forEach([&](Character& c) {
    Character::BitmapPart* part = c.bitmap();
    if (!part || !part->image || part->image->empty()) return;
    const size_t bytes = part->image->byteCount();
    if (part->image->release()) freed += bytes;
  });
  return freed;
}

}  // namespace kivra
