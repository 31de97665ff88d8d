#pragma once
// A host that does nothing: no window (an empty client area), a clock that
// stands still, no commands handled, output dropped, slow scripts aborted.
// Tests, fuzz targets and benchmarks run the core with it, overriding what
// they want to watch.
#include <string>

#include "core/host/Host.h"

namespace kivra {

// Finds libraries under the URL asked for and never loads them: their
// importers wait.
class NullLibraryLoader : public LibraryLoader {
 public:
  std::string resolve(const std::string& base, const std::string& url) override {
    (void)base;
    return url;
  }
  void load(const std::string& resolvedUrl, TimelinePlayer& library) override {
    (void)resolvedUrl;
    (void)library;
  }
};

class NullHost : public FrameTimer,
                 public HostWindow,
                 public HostClock,
                 public SlowScriptQuestion,
                 public HostCommandHandler,
                 public DebugOutput,
                 public HostInfoSource,
                 public HostInput,
                 public MemoryMonitor {
 public:
  NullHost() = default;
  NullHost(const NullHost&) = delete;
  NullHost& operator=(const NullHost&) = delete;

  // The services, for a CorePlayer; valid while this host lives.
  Host host() {
    return Host{*this, *this, *this, *this, *this, *this, *this, *this, *this,
                libraries_, audio_, urls_, fonts_, printer_, clipboard_};
  }

  void startFrameTimer(uint32_t tickMs, uint32_t caretMs) override {
    (void)tickMs;
    (void)caretMs;
  }
  void stopFrameTimer() override {}
  PixelRect clientRectangle() override { return {}; }
  void updateNow() override {}
  void invalidate() override {}
  void movieSizeChanged(int width, int height) override {
    (void)width;
    (void)height;
  }
  bool setCursor(CursorKind kind) override {
    (void)kind;
    return true;
  }
  void fillBackground(Rgba colour) override { (void)colour; }
  uint32_t milliseconds() override { return 0; }
  bool askToAbortSlowScript() override { return true; }
  bool hostCommand(const std::string& command, const std::string& argument) override {
    (void)command;
    (void)argument;
    return false;
  }

 private:
  NullLibraryLoader libraries_;
  NullAudioOutput audio_;
  NullUrlStreams urls_;
  NullFontSource fonts_;
  NullPrinter printer_;
  NullClipboard clipboard_;
};

}  // namespace kivra
