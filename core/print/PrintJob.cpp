#include "core/print/PrintJob.h"

#include <algorithm>

#include "core/movie/CharacterKinds.h"
#include "core/print/BitmapPage.h"
#include "core/print/PageLayout.h"
#include "core/print/PrintFlags.h"
#include "core/print/VectorPage.h"
#include "core/render/Drawing.h"
#include "core/view/ViewTransform.h"

namespace kivra {

namespace {
const std::string kPageLabel = "#p";
const std::string kAreaLabel = "#b";

// The stage-twips bounds of what a subtree draws.
class BoundsCollector : public DisplayVisitor {
 public:
  bool enter(const DisplayWalkItem& item) override {
    const DisplayObject& o = item.object;
    if (!o.visible()) return false;
    if (const Character* c = o.character()) {
      const CharacterKindOps& ops = kindOps(c->kind);
      if (ops.drawnArea && (ops.buildDraw || o.editField())) box.add(transformRect(item.matrix, ops.drawnArea(*c)));
    }
    if (o.drawing() && !o.drawing()->empty()) box.add(transformRect(item.matrix, o.drawing()->bounds()));
    return true;
  }
  RectUnion box;
};

// The page count is bounded by the frames: a label search per frame at most.
int countLabels(TimelinePlayer& t, const std::string& label) {
  int count = 0;
  const int frames = std::max(0, t.frameCount());
  for (int f = t.findFrameLabel(label, 0); f >= 0 && count <= frames; f = t.findFrameLabel(label, f + 1)) ++count;
  return count;
}
}  // namespace

PrintJob::PrintJob(PrintContext& context, TimelinePlayer& timeline, uint8_t flags)
    : context_(context),
      timeline_(timeline),
      flags_(flags),
      startFrame_(std::max(0, timeline.currentFrame())),
      wasPlaying_(timeline.playing()) {
  labelled_ = countLabels(timeline_, kPageLabel);
  pageCount_ = labelled_ > 0 ? labelled_ : std::max(1, timeline_.frameCount());
  range_.min = 1;
  range_.max = range_.last = pageCount_;
  range_.first = 1;
  if (!(flags_ & kPrintFromScript) && labelled_ == 0) {
    // The host's request on a movie without pages: the frame on show.
    range_.printSelection = true;
    range_.noPageNumbers = true;
    const int current = std::min(startFrame_ + 1, pageCount_);
    range_.first = range_.last = current;
    if (!(flags_ & kPrintFromHost)) range_.min = range_.max = current;
  }
}

int PrintJob::frameOfPage(int page) {
  if (page < 1 || page > pageCount_) return -1;
  if (labelled_ == 0) return page - 1;
  int frame = -1;
  for (int k = 0; k < page; ++k) {
    frame = timeline_.findFrameLabel(kPageLabel, frame + 1);
    if (frame < 0) return -1;
  }
  return frame;
}

PrintOutcome PrintJob::run() {
  PrintOutcome out;
  if (!context_.movieReady() || !timeline_.displayObject()) return out;
  context_.setPrinting(true);
  int width = 0, height = 0;
  if (context_.printer().beginDocument(range_, width, height)) {
    out.started = true;
    print(width, height, out);
    context_.printer().endDocument();
  }
  context_.setPrinting(false);
  return out;
}

void PrintJob::print(int pageWidth, int pageHeight, PrintOutcome& out) {
  if (range_.printSelection) {
    if (labelled_ > 0) {
      // The first page at or after the frame on show.
      int page = 1;
      for (int k = 1; k <= pageCount_; ++k) {
        if (frameOfPage(k) >= startFrame_) {
          page = k;
          break;
        }
      }
      range_.first = range_.last = page;
    } else {
      range_.first = range_.last = startFrame_ + 1;
    }
  }
  // The dialog's answer is outside input: keep it inside the pages.
  range_.first = std::clamp(range_.first, 1, pageCount_);
  range_.last = std::clamp(range_.last, range_.first, pageCount_);
  context_.debugLog("CorePlayer::Print\n");
  context_.debugLog("    from=" + std::to_string(range_.first) + " to=" + std::to_string(range_.last) + "\n");
  context_.debugLog("    printSelection =" + std::to_string(range_.printSelection ? 1 : 0) + "\n");
  context_.debugLog("    noPageNumbers  =" + std::to_string(range_.noPageNumbers ? 1 : 0) + "\n");
  if (pageWidth <= 0 || pageHeight <= 0) {
    out.failed = true;
    return;
  }

  RECT area = context_.stageFrame();
  if (flags_ & kPrintAreaMax) {
    RectUnion all;
    for (int page = 1; page <= pageCount_; ++page) {
      const int frame = frameOfPage(page);
      if (frame < 0) break;
      context_.seekSilently(timeline_, frame);
      all.add(measure());
    }
    if (all.any) area = all.rect;
    context_.seekSilently(timeline_, startFrame_);
  } else if (!(flags_ & kPrintAreaFrame)) {
    const int frame = timeline_.findFrameLabel(kAreaLabel, 0);
    if (frame >= 0) {
      context_.seekSilently(timeline_, frame);
      area = measure();
      context_.seekSilently(timeline_, startFrame_);
    } else if (const DisplayObject* o = timeline_.displayObject(); o && o->parent() != &context_.printDisplay().root()) {
      // A clip's own frame: the stage rectangle in the clip's space.
      MATRIX m = o->matrix();
      for (const DisplayObject* p = o->parent(); p && p->parent(); p = p->parent()) m = concat(m, p->matrix());
      area = transformRect(m, area);
    }
  }

  Printer& printer = context_.printer();
  for (int page = range_.first; page <= range_.last; ++page) {
    const int frame = frameOfPage(page);
    if (frame < 0) break;
    if (!printer.beginPage()) {
      out.failed = true;
      break;
    }
    context_.seekSilently(timeline_, frame);
    if (flags_ & kPrintAreaFrame) area = measure();
    drawPage(area, pageWidth, pageHeight);
    if (!printer.endPage()) {
      out.failed = true;
      break;
    }
    ++out.pages;
  }
  context_.seekSilently(timeline_, startFrame_);
  if (wasPlaying_) timeline_.play(false);
}

RECT PrintJob::measure() const {
  const DisplayObject* top = timeline_.displayObject();
  BoundsCollector bounds;
  if (top) context_.printDisplay().walkSubtree(*top, bounds);
  if (!bounds.box.any || bounds.box.rect.xmax <= bounds.box.rect.xmin || bounds.box.rect.ymax <= bounds.box.rect.ymin)
    return context_.stageFrame();
  return bounds.box.rect;
}

void PrintJob::drawPage(const RECT& area, int pageWidth, int pageHeight) {
  const DisplayObject* top = timeline_.displayObject();
  if (!top) return;
  const Display& display = context_.printDisplay();
  const Rgba bg = context_.printBackground();
  if (flags_ & kPrintAsBitmap) {
    BitmapPage page;
    page.draw(display, *top, area, context_.printScaleMode(), context_.printQuality(), bg, pageWidth, pageHeight,
              context_.printer());
  } else {
    VectorPage page([this](const std::string& line) { context_.debugLog(line); });
    page.draw(display, *top, area, context_.printScaleMode(), bg, pageWidth, pageHeight, context_.printer());
  }
}

}  // namespace kivra
