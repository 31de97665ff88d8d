#pragma once
// One print job: which frames of a timeline become pages, which area of
// them goes on the page, and the walk over the pages. Frames labelled "#p"
// are the pages (every frame when there are none); "#b" gives the area.
// The job visits frames silently and puts the timeline back on its frame,
// playing if it was. It exists only while it prints.
#include <cstdint>

#include "core/format/Records.h"
#include "core/host/Printer.h"
#include "core/print/PrintContext.h"

namespace kivra {

struct PrintOutcome {
  bool started = false;  // the dialog was accepted and the document began
  bool failed = false;   // a page could not start or end
  int pages = 0;         // pages ended
};

class PrintJob {
 public:
  PrintJob(PrintContext& context, TimelinePlayer& timeline, uint8_t flags);

  // Runs the whole job: dialog, pages, restore. Nothing happens unless the
  // level-0 movie is ready.
  PrintOutcome run();

  // The number of pages, and the frame of page k (1-based; -1 when none).
  int pageCount() const { return pageCount_; }
  int frameOfPage(int page);
  const PrintRange& range() const { return range_; }

 private:
  void print(int pageWidth, int pageHeight, PrintOutcome& out);
  // The display bounds of the timeline now, in stage twips (the stage
  // frame when it shows nothing).
  RECT measure() const;
  void drawPage(const RECT& area, int pageWidth, int pageHeight);

  PrintContext& context_;
  TimelinePlayer& timeline_;
  uint8_t flags_;
  int startFrame_;
  bool wasPlaying_;
  int labelled_ = 0;  // "#p" frames
  int pageCount_ = 0;
  PrintRange range_;
};

}  // namespace kivra
