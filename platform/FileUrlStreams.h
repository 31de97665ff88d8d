#pragma once
// URL streams of local files ("file://" URLs and plain paths), read on the
// player's thread. A request only registers the stream; deliver(), which
// the hosts call before each frame step, reads each file in 64 KiB pieces
// and hands everything to its receiver, so that scripts see their loads
// complete between frames, never inside the call that asked.
#include <cstdint>
#include <string>
#include <vector>

#include "core/host/UrlStreams.h"

namespace kivra {

class FileUrlStreams {
 public:
  static constexpr size_t kPieceBytes = 65536;

  // 0 when the URL is not a local file.
  uint32_t open(const UrlStreamRequest& request, UrlStreamReceiver& receiver);
  void cancel(uint32_t id);
  // Runs every stream opened so far to its end.
  void deliver();
  bool idle() const { return pending_.empty(); }

 private:
  struct Pending {
    uint32_t id;
    std::string url;
    std::string path;
    UrlStreamReceiver* receiver;
  };
  void run(const Pending& p);
  bool cancelled(uint32_t id) const;

  std::vector<Pending> pending_;
  std::vector<uint32_t> cancelled_;
  uint32_t nextId_ = 1;
};

}  // namespace kivra
