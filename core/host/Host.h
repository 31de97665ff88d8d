#pragma once
// Everything the core asks of its host, one reference per service. The
// host owns every service and keeps it alive as long as the CorePlayer it
// was given to; all are called on the player's thread.
#include "core/host/AudioOutput.h"
#include "core/host/Clipboard.h"
#include "core/host/DebugOutput.h"
#include "core/host/FontSource.h"
#include "core/host/FrameTimer.h"
#include "core/host/HostClock.h"
#include "core/host/HostCommandHandler.h"
#include "core/host/HostInfo.h"
#include "core/host/HostInput.h"
#include "core/host/HostWindow.h"
#include "core/host/LibraryLoader.h"
#include "core/host/MemoryMonitor.h"
#include "core/host/Printer.h"
#include "core/host/SlowScriptQuestion.h"
#include "core/host/UrlStreams.h"

namespace kivra {

struct Host {
  FrameTimer& timer;
  HostWindow& window;
  HostClock& clock;
  SlowScriptQuestion& slowScript;
  HostCommandHandler& commands;
  DebugOutput& debug;
  HostInfoSource& info;
  HostInput& input;
  MemoryMonitor& memory;
  // The loader ImportAssets starts with (CorePlayer::setLibraryLoader
  // replaces it).
  LibraryLoader& libraries;
  AudioOutput& audio;
  UrlStreams& urls;
  FontSource& fonts;
  Printer& printer;
  Clipboard& clipboard;
};

}  // namespace kivra
