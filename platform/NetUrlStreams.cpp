#include "platform/NetUrlStreams.h"

#include <algorithm>
#include <chrono>

#include <curl/curl.h>

#include "core/format/CaseInsensitive.h"

namespace kivra {

namespace {

constexpr size_t kPieceBytes = 65536;
constexpr long kIdleSeconds = 60;

bool isNetworkUrl(const std::string& url) {
  for (std::string_view s : {"http://", "https://", "ftp://"})
    if (url.size() >= s.size() && equalsIgnoringCase(std::string_view(url).substr(0, s.size()), s)) return true;
  return false;
}

bool isHttp(const std::string& url) {
  return url.size() >= 5 && (equalsIgnoringCase(std::string_view(url).substr(0, 5), "http:") ||
                             (url.size() >= 6 && equalsIgnoringCase(std::string_view(url).substr(0, 6), "https:")));
}

}  // namespace

struct NetUrlStreams::Job {
  uint32_t id = 0;
  UrlStreamRequest request;
  std::atomic<bool> cancelled{false};
  // Worker side of one transfer.
  NetUrlStreams* owner = nullptr;
  bool announced = false;  // started, final URL and length posted
  CURL* curl = nullptr;
  std::vector<uint8_t> piece;
  int64_t received = 0;
  int64_t length = -1;
};

NetUrlStreams::NetUrlStreams() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

NetUrlStreams::~NetUrlStreams() {
  shuttingDown_ = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [id, s] : streams_) s.job->cancelled = true;
  }
  jobsReady_.notify_all();
  for (std::thread& t : workers_) t.join();
}

uint32_t NetUrlStreams::open(const UrlStreamRequest& request, UrlStreamReceiver& receiver) {
  if (!isNetworkUrl(request.url) || request.url.find_first_of(std::string("\0\r\n", 3)) != std::string::npos) return 0;
  auto job = std::make_shared<Job>();
  job->id = nextId_++;
  if (nextId_ == 0) nextId_ = kFirstId;
  job->request = request;
  job->owner = this;
  streams_[job->id] = Stream{&receiver, job};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(job);
    if (workers_.size() < kWorkers) workers_.emplace_back([this] { work(); });
  }
  jobsReady_.notify_one();
  return job->id;
}

void NetUrlStreams::cancel(uint32_t id) {
  auto it = streams_.find(id);
  if (it == streams_.end()) return;
  it->second.job->cancelled = true;
  streams_.erase(it);
}

void NetUrlStreams::work() {
  for (;;) {
    std::shared_ptr<Job> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      jobsReady_.wait(lock, [&] { return shuttingDown_ || !jobs_.empty(); });
      if (shuttingDown_) return;
      job = jobs_.front();
      jobs_.pop_front();
    }
    if (!job->cancelled) run(*job);
  }
}

void NetUrlStreams::post(Message m) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(std::move(m));
  }
  messagesReady_.notify_all();
  if (wakeup_) wakeup_();
}

void NetUrlStreams::run(Job& job) {
  CURL* curl = curl_easy_init();
  if (!curl) {
    post(Message::make(Message::Destroyed, job.id));
    return;
  }
  job.curl = curl;
  const UrlStreamRequest& r = job.request;
  curl_easy_setopt(curl, CURLOPT_URL, r.url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Kivra Player");
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kIdleSeconds);
  // Under one byte a second for a minute: the server is gone.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kIdleSeconds);
  curl_slist* headers = nullptr;
  if (isHttp(r.url)) headers = curl_slist_append(headers, ("Referer: " + r.url).c_str());
  if (r.post) {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, r.postData.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.postData.size()));
    // The content type carries any extra header lines after "\r\n".
    const std::string type = r.contentType.empty() ? "application/x-www-form-urlencoded" : r.contentType;
    size_t start = 0;
    bool first = true;
    while (start <= type.size()) {
      size_t end = type.find("\r\n", start);
      if (end == std::string::npos) end = type.size();
      const std::string line = type.substr(start, end - start);
      if (first) headers = curl_slist_append(headers, ("Content-Type: " + line).c_str());
      else if (!line.empty()) headers = curl_slist_append(headers, line.c_str());
      first = false;
      start = end + 2;
    }
  }
  if (headers) curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t, size_t n, void* user) -> size_t {
    Job& job = *static_cast<Job*>(user);
    if (job.cancelled || job.owner->shuttingDown_) return 0;
    announce(job);
    if (job.cancelled) return 0;
    job.received += static_cast<int64_t>(n);
    size_t at = 0;
    while (at < n) {
      const size_t take = std::min(n - at, kPieceBytes - job.piece.size());
      job.piece.insert(job.piece.end(), data + at, data + at + take);
      at += take;
      if (job.piece.size() == kPieceBytes) {
        job.owner->post(Message::make(Message::Data, job.id, 0, {}, std::move(job.piece)));
        job.piece.clear();
      }
    }
    return n;
  });
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &job);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION,
                   +[](void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) -> int {
                     const Job& job = *static_cast<const Job*>(user);
                     return job.cancelled || job.owner->shuttingDown_ ? 1 : 0;
                   });
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &job);
  const CURLcode result = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  const bool http = isHttp(r.url);
  bool ok = result == CURLE_OK && (!http || status == 200);
  if (ok) announce(job);
  // A transfer cut short of its announced length failed, whatever the
  // connection said.
  if (ok && job.length >= 0 && job.received < job.length) ok = false;
  if (ok && !job.piece.empty()) post(Message::make(Message::Data, job.id, 0, {}, std::move(job.piece)));
  if (!job.cancelled) post(Message::make(ok ? Message::Closed : Message::Destroyed, job.id, http ? status : 0));
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  job.curl = nullptr;
}

void NetUrlStreams::announce(Job& job) {
  if (job.announced) return;
  job.announced = true;
  long status = 0;
  curl_easy_getinfo(job.curl, CURLINFO_RESPONSE_CODE, &status);
  // Only a 200 answer brings data (FTP answers have other codes).
  if (job.request.url.size() >= 4 && !equalsIgnoringCase(std::string_view(job.request.url).substr(0, 4), "ftp:") &&
      status != 200) {
    job.cancelled = true;
    job.owner->post(Message::make(NetUrlStreams::Message::Destroyed, job.id, status));
    return;
  }
  curl_off_t length = -1;
  curl_easy_getinfo(job.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  job.length = length;
  char* final = nullptr;
  curl_easy_getinfo(job.curl, CURLINFO_EFFECTIVE_URL, &final);
  job.owner->post(Message::make(NetUrlStreams::Message::Started, job.id));
  if (final) job.owner->post(Message::make(NetUrlStreams::Message::FinalUrl, job.id, 0, final, {}));
  job.owner->post(Message::make(NetUrlStreams::Message::Length, job.id, static_cast<int64_t>(length)));
}

void NetUrlStreams::finish(uint32_t id) {
  if (auto it = streams_.find(id); it != streams_.end()) {
    it->second.job->cancelled = true;
    streams_.erase(it);
  }
}

void NetUrlStreams::handle(Message& m) {
  auto it = streams_.find(m.id);
  if (it == streams_.end()) return;  // cancelled: the payload goes
  UrlStreamReceiver* r = it->second.receiver;
  switch (m.kind) {
    case Message::Started:
      if (!r->streamStarted()) finish(m.id);
      break;
    case Message::FinalUrl:
      if (!r->streamFinalUrl(m.text)) {
        finish(m.id);
        r->streamEnded(false);
      }
      break;
    case Message::Length:
      r->streamLength(m.number);
      break;
    case Message::Data:
      r->streamData(m.data.data(), m.data.size());
      break;
    case Message::Closed:
    case Message::Destroyed:
      finish(m.id);
      if (m.kind == Message::Destroyed && m.number > 0 && m.number != 200) r->streamHttpStatus(static_cast<int>(m.number));
      r->streamEnded(m.kind == Message::Closed);
      break;
  }
}

void NetUrlStreams::deliver() {
  for (;;) {
    Message m;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (messages_.empty()) return;
      m = std::move(messages_.front());
      messages_.pop_front();
    }
    handle(m);
  }
}

void NetUrlStreams::settle(uint32_t idleMs) {
  // One stream at a time, in the order they were opened, so that what the
  // receivers do does not depend on which server answered first; the others
  // go on downloading meanwhile and their messages wait in the queue.
  while (!streams_.empty()) {
    uint32_t first = streams_.begin()->first;
    for (const auto& entry : streams_) first = std::min(first, entry.first);
    Message m;
    bool got = false;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      auto ofFirst = [&] {
        return std::find_if(messages_.begin(), messages_.end(), [&](const Message& x) { return x.id == first; });
      };
      got = messagesReady_.wait_for(lock, std::chrono::milliseconds(idleMs),
                                    [&] { return ofFirst() != messages_.end(); });
      if (got) {
        auto at = ofFirst();
        m = std::move(*at);
        messages_.erase(at);
      }
    }
    if (got) {
      handle(m);
      continue;
    }
    // Nothing from it for too long: it fails.
    UrlStreamReceiver* receiver = streams_[first].receiver;
    finish(first);
    receiver->streamEnded(false);
  }
  // What cancelled streams left behind.
  deliver();
}

}  // namespace kivra
