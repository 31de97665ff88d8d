#include "platform/FileUrlStreams.h"

#include <algorithm>
#include <cstdio>

#include <sys/stat.h>

#include "core/net/UrlRecord.h"

namespace kivra {

uint32_t FileUrlStreams::open(const UrlStreamRequest& request, UrlStreamReceiver& receiver) {
  std::string path;
  if (hasScheme(request.url)) {
    if (!fileUrlToPath(request.url, path)) return 0;
  } else {
    path = request.url;
  }
  if (path.empty() || path.find('\0') != std::string::npos) return 0;
  const uint32_t id = nextId_++;
  if (nextId_ == 0) nextId_ = 1;
  pending_.push_back(Pending{id, request.url, path, &receiver});
  return id;
}

void FileUrlStreams::cancel(uint32_t id) {
  if (std::any_of(pending_.begin(), pending_.end(), [&](const Pending& p) { return p.id == id; }))
    cancelled_.push_back(id);
}

bool FileUrlStreams::cancelled(uint32_t id) const {
  return std::find(cancelled_.begin(), cancelled_.end(), id) != cancelled_.end();
}

void FileUrlStreams::deliver() {
  // Receivers may open more streams while they hear of these: those wait
  // for the next delivery.
  std::vector<Pending> work;
  work.swap(pending_);
  for (const Pending& p : work)
    if (!cancelled(p.id)) run(p);
  cancelled_.clear();
}

void FileUrlStreams::run(const Pending& p) {
  std::FILE* f = std::fopen(p.path.c_str(), "rb");
  struct stat st {};
  if (!f || ::fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    if (f) std::fclose(f);
    p.receiver->streamEnded(false);
    return;
  }
  if (!p.receiver->streamStarted() || cancelled(p.id)) {
    std::fclose(f);
    return;
  }
  if (!p.receiver->streamFinalUrl(p.url)) {
    std::fclose(f);
    if (!cancelled(p.id)) p.receiver->streamEnded(false);
    return;
  }
  if (cancelled(p.id)) {
    std::fclose(f);
    return;
  }
  p.receiver->streamLength(static_cast<int64_t>(st.st_size));
  std::vector<uint8_t> piece(kPieceBytes);
  bool ok = true;
  while (!cancelled(p.id)) {
    const size_t n = std::fread(piece.data(), 1, piece.size(), f);
    if (n > 0) p.receiver->streamData(piece.data(), n);
    if (n < piece.size()) {
      ok = !std::ferror(f);
      break;
    }
  }
  std::fclose(f);
  if (!cancelled(p.id)) p.receiver->streamEnded(ok);
}

}  // namespace kivra
