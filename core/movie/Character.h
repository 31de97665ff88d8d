#pragma once
// Dictionary entries made by definition tags, and the per-movie dictionary
// that holds them. An entry does not copy its tag body: it points into the
// movie buffer of the root timeline that defined it, which outlives it.
//
// Entries are shared: the dictionary holds one reference and every display
// object showing the character holds another, so freeing a character that is
// still on the stage only unlinks it from the dictionary.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "core/format/Records.h"

namespace kivra {

class BitmapImage;
class TimelinePlayer;

enum class CharacterKind : uint8_t {
  Shape = 0,
  Bitmap = 1,
  Button = 2,
  Font = 3,
  StaticText = 4,
  Sound = 5,
  Sprite = 6,
  MorphShape = 7,
  EditText = 9,
  VideoStream = 10,
  ImportAlias = 96,
  LoadedMovieClip = 97,
  LevelRoot = 98,
};

// The id of the pseudo-character that stands for a whole movie in a level.
constexpr uint16_t kLevelRootId = 0xFFFE;

struct Character {
  uint16_t id = 0;
  CharacterKind kind = CharacterKind::Shape;
  uint8_t tagCode = 0;                // low byte of the defining tag's code
  TimelinePlayer* owner = nullptr;    // the root timeline that defined it
  const uint8_t* data = nullptr;      // the tag body after the fields read here
  size_t dataLength = 0;
  const uint8_t* tagBody = nullptr;   // the whole tag body, from the id on
  size_t tagLength = 0;
  RECT bounds;
  std::string exportName;

  // What only one kind carries, set by the tag that defines it.
  // Sprite: the tag stream is data[0, dataLength).
  struct SpritePart {
    uint16_t frameCount = 0;
    bool initActionsDone = false;
  };
  // Button: DefineButtonSound and DefineButtonCxform add to it.
  struct ButtonPart {
    bool trackAsMenu = false;
    const uint8_t* soundData = nullptr;
    size_t soundLength = 0;
    const uint8_t* cxformData = nullptr;
    size_t cxformLength = 0;
  };
  struct MorphPart {
    RECT endBounds;
  };
  struct SoundPart {
    uint8_t format = 0;
    uint32_t sampleCount = 0;
    uint16_t seekSamples = 0;
  };
  // Font: the glyph offset table and what the tag says of it; a font
  // information tag adds its name and code table.
  struct FontPart {
    const uint8_t* table = nullptr;  // the offset table
    size_t tableLength = 0;          // from the table to the tag's end
    uint32_t glyphCount = 0;
    uint8_t flags = 0;               // tag 48 flags (0 for tag 10)
    uint8_t language = 0;
    std::string name;
    const uint8_t* info = nullptr;   // a font information body after the id
    size_t infoLength = 0;
    uint8_t infoTag = 0;             // 13 or 62
    bool infoUnicode = false;        // its codes are Unicode (tag 62 or version 6 on)
    bool wideOffsets() const { return flags & 0x08; }
  };
  // Video stream: frame data stored by VideoFrame tags.
  struct VideoFrameData {
    const uint8_t* data = nullptr;
    size_t length = 0;
  };
  struct VideoPart {
    uint16_t frameCount = 0;
    std::unique_ptr<VideoFrameData[]> frames;
  };
  // Bitmap: the pixels, decoded on first use (the image outlives the entry
  // while a build holds it locked).
  struct BitmapPart {
    std::shared_ptr<BitmapImage> image;
    bool failed = false;  // the data cannot be decoded: no further tries
  };
  std::variant<std::monostate, SpritePart, ButtonPart, MorphPart, SoundPart, FontPart, VideoPart, BitmapPart> part;
  // The part when the character has it; null otherwise.
  SpritePart* sprite() { return std::get_if<SpritePart>(&part); }
  const SpritePart* sprite() const { return std::get_if<SpritePart>(&part); }
  ButtonPart* button() { return std::get_if<ButtonPart>(&part); }
  const ButtonPart* button() const { return std::get_if<ButtonPart>(&part); }
  const MorphPart* morph() const { return std::get_if<MorphPart>(&part); }
  FontPart* font() { return std::get_if<FontPart>(&part); }
  VideoPart* video() { return std::get_if<VideoPart>(&part); }
  BitmapPart* bitmap() { return std::get_if<BitmapPart>(&part); }

  // Import alias: the exporting movie's entry.
  std::shared_ptr<Character> target;

  // An import alias: the entry stands for `target`.
  bool isAlias() const { return kind == CharacterKind::ImportAlias; }
  // Follows import aliases to the entry that holds the data; null for a
  // chain that does not end (a cycle, or one too long to be genuine).
  Character* resolved();

  // Chain link within its dictionary bucket.
  std::shared_ptr<Character> next;
};

// 128 buckets by id & 0x7F, each a chain with new entries at its head.
class Dictionary {
 public:
  static constexpr size_t kBuckets = 128;

  Dictionary() = default;
  ~Dictionary();
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;

  // Adds an entry unless the id is already defined (the first one stays);
  // returns the entry now in the dictionary for that id when it was added,
  // null when the definition was ignored.
  std::shared_ptr<Character> define(std::shared_ptr<Character> c);
  // The entry for an id with import aliases followed; null when undefined.
  std::shared_ptr<Character> lookup(uint16_t id) const;
  // The entry as defined (an alias stays an alias).
  std::shared_ptr<Character> find(uint16_t id) const;
  // lookup() without taking a share: valid until the dictionary changes
  // (glyph lookups, thousands a frame).
  Character* resolve(uint16_t id) const;
  // Unlinks every entry with the id; returns how many.
  int remove(uint16_t id);
  void clear();
  size_t size() const { return count_; }
  // Calls f(Character&) for every entry, bucket by bucket.
  template <class F>
  void forEach(F f) const {
    for (const auto& head : buckets_)
      for (Character* c = head.get(); c; c = c->next.get()) f(*c);
  }

 private:
  std::array<std::shared_ptr<Character>, kBuckets> buckets_;
  size_t count_ = 0;
};

}  // namespace kivra
