#pragma once
// The tag table: one entry per tag code the player knows. Codes not listed
// are skipped without effect.
#include <cstdint>

namespace kivra {

// X(code, name, definition): definition tags are processed whenever they are
// read, control tags only when the timeline runs them.
#define KIVRA_TAG_TABLE(X)              \
  X(0, End, true)                       \
  X(1, ShowFrame, false)                \
  X(2, DefineShape, true)               \
  X(3, FreeCharacter, true)             \
  X(4, PlaceObject, false)              \
  X(5, RemoveObject, false)             \
  X(6, DefineBits, true)                \
  X(7, DefineButton, true)              \
  X(8, JPEGTables, true)                \
  X(9, SetBackgroundColor, false)       \
  X(10, DefineFont, true)               \
  X(11, DefineText, true)               \
  X(12, DoAction, false)                \
  X(13, DefineFontInfo, true)           \
  X(14, DefineSound, true)              \
  X(15, StartSound, false)              \
  X(17, DefineButtonSound, true)        \
  X(18, SoundStreamHead, false)         \
  X(19, SoundStreamBlock, false)        \
  X(20, DefineBitsLossless, true)       \
  X(21, DefineBitsJPEG2, true)          \
  X(22, DefineShape2, true)             \
  X(23, DefineButtonCxform, true)       \
  X(26, PlaceObject2, false)            \
  X(28, RemoveObject2, false)           \
  X(32, DefineShape3, true)             \
  X(33, DefineText2, true)              \
  X(34, DefineButton2, true)            \
  X(35, DefineBitsJPEG3, true)          \
  X(36, DefineBitsLossless2, true)      \
  X(37, DefineEditText, true)           \
  X(39, DefineSprite, true)             \
  X(43, FrameLabel, false)              \
  X(45, SoundStreamHead2, false)        \
  X(46, DefineMorphShape, true)         \
  X(48, DefineFont2, true)              \
  X(56, ExportAssets, true)             \
  X(57, ImportAssets, true)             \
  X(59, DoInitAction, false)            \
  X(60, DefineVideoStream, true)        \
  X(61, VideoFrame, false)              \
  X(62, DefineFontInfo2, true)

enum class TagCode : uint16_t {
#define KIVRA_TAG_ENUM(code, name, def) name = code,
  KIVRA_TAG_TABLE(KIVRA_TAG_ENUM)
#undef KIVRA_TAG_ENUM
};

// The tag's name, or null for a code the player does not know.
const char* tagName(uint16_t code);
// Looks a tag up by name; returns false for an unknown name.
[[nodiscard]] bool tagCodeByName(const char* name, uint16_t& code);
bool isDefinitionTag(uint16_t code);

}  // namespace kivra
