#pragma once
// What both hosts share on Linux: finding and reading the movie (a file, or
// the one embedded at the end of the executable), the host commands movies
// send, and the menu commands that need no window. It owns the CorePlayer
// and is its host; subclasses implement the window or the headless run.
#include <memory>
#include <string>

#include "core/CorePlayer.h"
#include "platform/SystemCodePage.h"
#include "core/host/Host.h"
#include "core/host/UrlStreams.h"
#include "platform/UrlLibraryLoader.h"
#include "platform/FileUrlStreams.h"
#include "platform/NetUrlStreams.h"
#include "platform/PosixLocalConnectionBlock.h"
#include "platform/PosixSocketConnections.h"
#include "platform/MenuModel.h"
#include "platform/MovieFile.h"
#include "platform/PrinterSlot.h"
#include "platform/ProgramLauncher.h"
#include "platform/SharedObjectFiles.h"
#include "platform/fonts/FontconfigFonts.h"

namespace kivra {

struct [[nodiscard]] LoadResult {
  bool ok = false;
  std::string error;  // one line, for stderr, when !ok
};

// What checkMovieFile found: whether the file would load, and the size its
// header asks for.
struct MovieCheck {
  LoadResult result;
  int width = 0;  // pixels: the frame rectangle / 20
  int height = 0;
};

class PlatformPlayer : public FrameTimer,
                       public HostWindow,
                       public HostClock,
                       public SlowScriptQuestion,
                       public HostCommandHandler,
                       public DebugOutput,
                       public MemoryMonitor,
                       public UrlStreams {
 public:
  static constexpr size_t kChunkSize = kMovieChunkSize;

  // Imported libraries come from local files beside the movie. Sound goes
  // to `audio` (not owned; it must outlive this), or nowhere. Cut, copy and
  // paste use `clipboard`, or one kept in memory for the player's life.
  explicit PlatformPlayer(AudioOutput* audio = nullptr, std::unique_ptr<Clipboard> clipboard = nullptr);
  ~PlatformPlayer() override;
  PlatformPlayer(const PlatformPlayer&) = delete;
  PlatformPlayer& operator=(const PlatformPlayer&) = delete;

  CorePlayer& core() { return core_; }
  const CorePlayer& core() const { return core_; }
  // The system code page of older movies' text (the command line checked
  // that the system converts it; 1252 otherwise).
  void useCodePage(int number);

  // Opens a movie file into level 0 and feeds it in 1,024-byte chunks. A
  // missing or unreadable file, or one that is not a movie, is an error
  // worded by MovieFile.h; a file shorter than its header says plays as far
  // as it goes.
  // An http(s) or ftp URL is fetched as a stream instead (loadMovieUrl,
  // without waiting).
  LoadResult loadMovieFile(const std::string& path);
  // A movie by http(s) or ftp URL: the current movie plays on until the
  // server answers, then the new one replaces it and plays as it arrives.
  // With `waitMs` > 0 the call delivers the stream until it has ended (a
  // pause of that long fails it) and reports what a file load would; with
  // 0 it returns at once and a failure comes later to movieUrlFailed.
  LoadResult loadMovieUrl(const std::string& url, uint32_t waitMs);
  // Reads a movie file without touching the player: an error for what
  // loadMovieFile refuses, and for a movie damaged so that it would quit at
  // its first frame step (a tag running past the end of the file).
  static MovieCheck checkMovieFile(const std::string& path);
  // Reads the movie appended to the executable, if it has a trailer. Returns
  // false (no movie, no message) when there is none; `embedded()` is set
  // whenever a trailer was found.
  bool loadEmbeddedMovie(const std::string& executablePath);
  bool embedded() const { return embedded_; }
  // A warning about an incomplete movie after a load, or empty.
  std::string loadWarning() const;

  // ---- Host commands -----------------------------------------------------------
  // "quit", "fullscreen", "allowscale", "showmenu", "trapallkeys" and
  // "exec"; any other name is not handled.
  bool hostCommand(const std::string& command, const std::string& argument) override;

  // With setDebug(true), each diagnostic line goes to stderr as
  // "kivra-player: debug: LINE".
  void setDebug(bool on) { debug_ = on; }
  void debugLog(const std::string& line) override;

  // ---- UrlStreams
  uint32_t openStream(const UrlStreamRequest& request, UrlStreamReceiver& receiver) override;
  void cancelStream(uint32_t id) override;
  // Hands the streams' data to their receivers and moves XML socket
  // connections on; called before each frame step.
  void deliverStreams() {
    files_.deliver();
    net_.deliver();
    sockets_.service();
  }
  // Delivers until every stream has ended; one that brings nothing for
  // `idleMs` fails (runs whose output must not depend on timing). XML
  // sockets first settle for at most as long (PosixSocketConnections).
  void settleStreams(uint32_t idleMs);
  // The headless player opens no browser: it logs the request.
  void openInBrowser(const std::string& url, const std::string& window, const std::string* postData) override;

  // The allocator's count of what the process holds (MemoryUse.h).
  size_t memoryInUse() override;
  // While set, keyboard shortcuts are off and every key goes to the movie.
  bool trapAllKeys() const { return trapAllKeys_; }
  bool fullScreen() const { return fullScreen_; }
  void setFullScreen(bool on);
  // Whether the menu bar should show once full screen is left.
  bool menuBarWanted() const { return menuBarWanted_; }
  // The executable beside which "exec" finds its folder; by default the
  // running one.
  void setExecutablePath(const std::string& path) { executablePath_ = path; }
  // Collects programs started by "exec" that have exited.
  void reapPrograms() { launcher_.reap(); }
  const ProgramLauncher& launcher() const { return launcher_; }

  // Where print jobs go (not owned; null: nowhere). It must outlive the
  // player or be reset first.
  void setPrinter(Printer* printer) { printer_.setPrinter(printer); }

  // Shuts the movie in: no network streams, XML sockets, LocalConnection,
  // shared objects on disk or programs started by "exec" (thumbnails of
  // movies nobody chose to run). Call before loading.
  void setOffline();

  // ---- Menu commands ---------------------------------------------------------------
  MenuInputs menuInputs() const { return menuInputsOf(core_, embedded_); }
  CommandState commandState(int id) const { return kivra::commandState(menuInputs(), id); }
  // Carries out the playback, view, quality, edit, full-screen, Close and
  // Exit commands; a disabled one does nothing. Returns false for the
  // commands that need the host's dialogs (Open, Create Projector, About,
  // Print, Settings).
  bool playerCommand(int id);
  // Where the context menu was opened, in client pixels: "Zoom In" from
  // that menu zooms about this point.
  void setContextPoint(int x, int y) {
    contextX_ = x;
    contextY_ = y;
  }

 protected:
  // What the host does for these commands; the state above is already up
  // to date when they are called.
  virtual void quitPlayer() = 0;
  virtual void applyFullScreen(bool on) = 0;
  virtual void applyMenuBar(bool shown) = 0;
  // A movie URL loaded without waiting failed (one line, for the user).
  virtual void movieUrlFailed(const std::string& error) { (void)error; }

 private:
  void playbackCommand(int id);
  class MovieUrlStream;
  // What a finished movie stream amounts to, worded as for a file.
  LoadResult movieUrlResult(const MovieUrlStream& stream);

  bool embedded_ = false;
  UrlLibraryLoader libraries_;
  FileUrlStreams files_;
  NetUrlStreams net_;
  PosixSocketConnections sockets_;
  PosixLocalConnectionBlock localConnectionBlock_;  // mapped on the first LocalConnection call
  FontconfigFonts fonts_;
  std::unique_ptr<Clipboard> clipboard_;  // never null
  // What this host does not have yet.
  NullAudioOutput silence_;
  HostInfoSource info_;
  HostInput input_;
  PrinterSlot printer_{*this};
  SharedObjectFiles sharedObjects_;
  bool trapAllKeys_ = false;
  bool offline_ = false;
  bool debug_ = false;
  bool fullScreen_ = false;
  bool menuBarWanted_ = true;
  int contextX_ = 0;
  int contextY_ = 0;
  std::string executablePath_;
  ProgramLauncher launcher_;
  std::unique_ptr<CodePage> codePage_;  // outlives the core, which reads it
  std::unique_ptr<MovieUrlStream> movieStream_;  // the main movie's, by URL
  // Last: it calls the services above until it is gone.
  CorePlayer core_;
};

// The path of the running executable.
std::string executablePath();

}  // namespace kivra
