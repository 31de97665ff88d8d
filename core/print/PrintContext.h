#pragma once
// What a print job needs of the player: its printer and display, silent
// frame visits, the printing mark and the view settings. The player
// implements it. Player thread only.
#include <cstdint>
#include <string>

#include "core/format/Records.h"
#include "core/host/Printer.h"
#include "core/movie/Display.h"
#include "core/movie/TimelinePlayer.h"

namespace kivra {

class PrintContext {
 public:
  virtual ~PrintContext() = default;
  virtual Printer& printer() = 0;
  virtual const Display& printDisplay() = 0;
  // The level-0 movie's header is parsed and its status is good.
  virtual bool movieReady() const = 0;
  // While set, frame steps and sounds are suspended.
  virtual void setPrinting(bool on) = 0;
  // Moves the timeline to `frame`, changing only the display: no actions
  // run and no sounds start.
  virtual void seekSilently(TimelinePlayer& timeline, int frame) = 0;
  // Scale mode (low 4 bits) and alignment of the view.
  virtual uint8_t printScaleMode() const = 0;
  // 0 low, 1 medium, 2 high: the anti-aliasing of bitmap pages.
  virtual int printQuality() const = 0;
  virtual Rgba printBackground() const = 0;
  // The level-0 movie's frame rectangle.
  virtual RECT stageFrame() const = 0;
  virtual void debugLog(const std::string& line) = 0;
};

}  // namespace kivra
