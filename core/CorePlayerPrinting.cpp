// The player's side of print jobs: the requests, and the silent frame
// visits the job makes.
#include "core/CorePlayer.h"
#include "core/print/PrintFlags.h"
#include "core/print/PrintJob.h"

namespace kivra {

void CorePlayer::printFromHost() {
  if (!level0_ || printing_) return;
  PrintJob job(*this, *level0_, kPrintFromHost);
  (void)job.run();
  redrawAll();
}

void CorePlayer::printClip(DisplayObject& clip, uint8_t flags) {
  TimelinePlayer* timeline = clip.timeline();
  // One job at a time: a request from inside a job is dropped.
  if (!timeline || printing_) return;
  PrintJob job(*this, *timeline, flags);
  (void)job.run();
  redrawAll();
}

void CorePlayer::seekSilently(TimelinePlayer& timeline, int frame) {
  size_t sizes[kActionListCount];
  for (int i = 0; i < kActionListCount; ++i) sizes[i] = actions_.size(static_cast<ActionList>(i));
  (void)timeline.seek(frame);
  // What the visit queued (frame actions, clip events) is dropped.
  for (int i = 0; i < kActionListCount; ++i) actions_.truncate(static_cast<ActionList>(i), sizes[i]);
  display_.update();
}

int CorePlayer::printQuality() const {
  switch (quality_) {
    case Quality::Low: return 0;
    case Quality::Medium: return 1;
    default: return 2;
  }
}

}  // namespace kivra
