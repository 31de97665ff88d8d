#include "core/format/MovieBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/format/Inflater.h"
#include "core/format/TagCodes.h"
#include "core/format/TagCursor.h"

namespace kivra {

MovieBuffer::MovieBuffer() = default;
MovieBuffer::~MovieBuffer() = default;

uint32_t MovieBuffer::framePeriodFor(uint16_t rate) {
  if (rate == 0) return 1;
  return 65536000u / (static_cast<uint32_t>(rate) << 8);
}

IntakeReport MovieBuffer::feed(const uint8_t* data, size_t count) {
  IntakeReport report;
  if (failed() || (count > 0 && data == nullptr)) return report;
  const bool wasComplete = complete();

  while (headerBytes_ < 8 && count > 0) {
    header_[headerBytes_++] = *data++;
    --count;
    if (headerBytes_ == 8 && !acceptHeader()) return report;
  }
  if (headerBytes_ < 8) return report;

  if (count > 0) {
    if (compressed_) {
      appendInflated(data, count);
    } else {
      const size_t room = static_cast<size_t>(fileLength_ - received_);
      const size_t take = std::min(count, room);  // bytes beyond the file length are dropped
      std::memcpy(buffer_.get() + received_, data, take);
      received_ += static_cast<int64_t>(take);
    }
  }

  if (!headerParsed_) parseBodyHeader(report);
  if (headerParsed_) scanFrames(report);
  if (!wasComplete && complete()) {
    report.complete = true;
    if (headerParsed_) framesLoaded_ = kAllFramesLoaded;
  }
  return report;
}

bool MovieBuffer::acceptHeader() {
  const bool plain = header_[0] == 'X' && header_[1] == 'V' && header_[2] == 'Q';
  const bool zipped = header_[0] == 'Z' && header_[1] == 'V' && header_[2] == 'Q';
  if (!plain && !zipped) {
    status_ = MovieStatus::BadHeader;
    return false;
  }
  compressed_ = zipped;
  version_ = header_[3];
  const uint32_t length = static_cast<uint32_t>(header_[4]) | (static_cast<uint32_t>(header_[5]) << 8) |
                          (static_cast<uint32_t>(header_[6]) << 16) |
                          (static_cast<uint32_t>(header_[7]) << 24);
  if (length < 8) {
    status_ = MovieStatus::BadHeader;
    return false;
  }
  if (length > kMaxFileLength) {
    status_ = MovieStatus::OutOfMemory;
    return false;
  }
  if (compressed_) {
    inflater_ = std::make_unique<Inflater>();
    if (!inflater_->ok()) {
      status_ = MovieStatus::OutOfMemory;
      return false;
    }
  }
  buffer_.reset(new (std::nothrow) uint8_t[length + 1]);
  if (!buffer_) {
    status_ = MovieStatus::OutOfMemory;
    return false;
  }
  fileLength_ = length;
  std::memcpy(buffer_.get(), header_, 8);
  buffer_[length] = 0;
  // The buffer holds the inflated movie, so it reads as uncompressed from now on.
  buffer_[0] = 'X';
  received_ = 8;
  return true;
}

void MovieBuffer::appendInflated(const uint8_t* data, size_t count) {
  if (inflateDone_) return;
  size_t consumed = 0;
  const size_t room = static_cast<size_t>(fileLength_ - received_);
  const size_t made = inflater_->inflate(data, count, &consumed, buffer_.get() + received_, room);
  received_ += static_cast<int64_t>(made);
  if (inflater_->finished() || received_ >= fileLength_) inflateDone_ = true;
}

void MovieBuffer::parseBodyHeader(IntakeReport& report) {
  if (received_ < 9) return;
  // The frame rectangle's size depends on its bit count; the header is
  // parsed only once the whole rectangle, rate and count are in.
  const unsigned nbits = buffer_[8] >> 3;
  const int64_t rectBytes = (5 + 4 * nbits + 7) / 8;
  const int64_t needed = 8 + rectBytes + 4;
  if (fileLength_ < needed) {
    status_ = MovieStatus::BadHeader;
    return;
  }
  if (received_ < needed) return;
  TagCursor cursor(buffer_.get(), received_, version_);
  cursor.setPosition(8);
  frameRect_ = cursor.readRect();
  frameRate_ = cursor.readU16();
  frameCount_ = cursor.readU16();
  firstTag_ = cursor.position();
  scanPos_ = firstTag_;
  headerParsed_ = true;
  report.headerParsed = true;
}

void MovieBuffer::scanFrames(IntakeReport& report) {
  if (scanStopped_) return;
  TagCursor cursor(buffer_.get(), received_, version_);
  cursor.setSizeLimit(fileLength_);
  cursor.setPosition(scanPos_);
  TagHeader tag;
  for (;;) {
    const TagRead r = cursor.readTagHeader(tag);
    if (r == TagRead::Incomplete) break;
    if (r == TagRead::PastEnd) {
      corrupt_ = true;
      report.corrupt = true;
      scanStopped_ = true;
      break;
    }
    scanPos_ = tag.end;
    cursor.setPosition(tag.end);
    if (tag.code == static_cast<uint16_t>(TagCode::ShowFrame)) {
      if (framesLoaded_ < kAllFramesLoaded - 1) ++framesLoaded_;
      ++report.framesAdded;
    } else if (tag.code == static_cast<uint16_t>(TagCode::End)) {
      scanStopped_ = true;  // whatever follows End is not part of the tag stream
      break;
    }
  }
}

}  // namespace kivra
