#pragma once
// The text form of the display tree that `--dump-display` prints: how
// timeline behaviour is tested end to end and how a movie is debugged.
//
// The first line is `background #rrggbb`. Then one line per display object
// in drawing order (ascending depth), children below their parent indented
// by two spaces per level, every field always present and separated by one
// space:
//
//   DEPTH KIND id=ID name="NAME" frame=CUR/COUNT matrix=A,B,C,D,TX,TY
//       cxform=RM,GM,BM,AM,RA,GA,BA,AA ratio=R clip=C
//
//   DEPTH   signed depth (a removed clip awaiting its unload handlers shows
//           -(depth + 1))
//   KIND    shape bitmap button font text sound sprite morph edittext video
//           alias movieclip level
//   NAME    the instance name, quoted; `"` and `\` are escaped with `\`, other
//           bytes outside 0x20-0x7E as \xHH
//   frame   sprites and levels: the current frame counted from 1 (0 before
//           the first frame has run) and the frame count; other objects `-`
//   matrix  A-D the scale and rotate-skew factors as decimals (at most five
//           places, trailing zeros dropped), TX TY the translation in twips
//   cxform  multipliers in 8.8 fixed point (256 = 1.0), then the addends
//   ratio   0-65535; clip  the clip depth, 0 when the object is no mask
#include <string>

namespace kivra {

class Display;

std::string dumpDisplay(const Display& display);

}  // namespace kivra
