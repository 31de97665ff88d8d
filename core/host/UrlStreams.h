#pragma once
// URL streams: how the core will ask the host for a URL's bytes (loading
// movies and data by URL). No part of the core opens streams yet, so the
// interface holds only what any stream needs: open, data, end. It grows with
// its first user.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kivra {

// Receives one stream's bytes on the player's thread.
class UrlStreamReceiver {
 public:
  virtual ~UrlStreamReceiver() = default;
  virtual void streamData(const uint8_t* data, size_t count) = 0;
  // No more data; `ok` is false when the stream failed.
  virtual void streamEnded(bool ok) = 0;
};

class UrlStreams {
 public:
  virtual ~UrlStreams() = default;
  // Starts fetching `url` into `receiver`, which must outlive the stream.
  // Returns false when the host cannot open it (nothing is delivered then).
  virtual bool openStream(const std::string& url, UrlStreamReceiver& receiver) = 0;
  // Shows a URL in a browser window of that name; `postData` (or null) is
  // the body of a POST. A host without a browser ignores it.
  virtual void openInBrowser(const std::string& url, const std::string& window, const std::string* postData) {
    (void)url, (void)window, (void)postData;
  }
};

// Opens nothing.
class NullUrlStreams : public UrlStreams {
 public:
  bool openStream(const std::string& url, UrlStreamReceiver& receiver) override {
    (void)url;
    (void)receiver;
    return false;
  }
};

}  // namespace kivra
