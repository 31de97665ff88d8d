#pragma once
// URL streams: how the core asks the host for a URL's bytes (loading
// movies, variables and data by URL). The host runs each request and tells
// the receiver, on the player's thread and in this order: started, the
// final URL after redirects, the content length, the data in pieces, and
// the end (success or failure). A receiver that refuses the start or the
// final URL hears nothing more.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kivra {

class UrlStreamReceiver {
 public:
  virtual ~UrlStreamReceiver() = default;
  // The request got an answer; false cancels the stream.
  virtual bool streamStarted() { return true; }
  // The URL the data finally comes from; false destroys the stream.
  virtual bool streamFinalUrl(const std::string& url) {
    (void)url;
    return true;
  }
  // The announced length, -1 when unknown.
  virtual void streamLength(int64_t length) { (void)length; }
  virtual void streamData(const uint8_t* data, size_t count) = 0;
  // No more data; `ok` is false when the stream failed.
  virtual void streamEnded(bool ok) = 0;
  // An HTTP answer other than 200 failed the stream: its status, told just
  // before the end.
  virtual void streamHttpStatus(int status) { (void)status; }
};

struct UrlStreamRequest {
  std::string url;  // absolute
  std::string postData;
  bool post = false;
  std::string contentType;  // with any extra headers folded in
};

// A stream message as the debug sink shows it: local files arrive
// synchronously, everything else from a worker.
inline std::string streamMessageLine(const std::string& requestedUrl, const char* message) {
  const bool file = requestedUrl.size() >= 5 && (requestedUrl[0] | 0x20) == 'f' && (requestedUrl[1] | 0x20) == 'i' &&
                    (requestedUrl[2] | 0x20) == 'l' && (requestedUrl[3] | 0x20) == 'e' && requestedUrl[4] == ':';
  const bool async = !file && requestedUrl.find("://") != std::string::npos;
  return std::string(message) + " async=" + (async ? "1" : "0") + "\n";
}

class UrlStreams {
 public:
  virtual ~UrlStreams() = default;
  // Starts fetching into `receiver`, which must stay alive until it hears
  // the end or the stream is cancelled. Returns a stream id (never 0), or 0
  // when the host cannot open it (nothing is delivered then).
  virtual uint32_t openStream(const UrlStreamRequest& request, UrlStreamReceiver& receiver) = 0;
  // The receiver goes away: nothing more reaches it.
  virtual void cancelStream(uint32_t id) { (void)id; }
  // Shows a URL in a browser window of that name; `postData` (or null) is
  // the body of a POST. A host without a browser ignores it.
  virtual void openInBrowser(const std::string& url, const std::string& window, const std::string* postData) {
    (void)url, (void)window, (void)postData;
  }
};

// Opens nothing.
class NullUrlStreams : public UrlStreams {
 public:
  uint32_t openStream(const UrlStreamRequest& request, UrlStreamReceiver& receiver) override {
    (void)request;
    (void)receiver;
    return 0;
  }
};

}  // namespace kivra
