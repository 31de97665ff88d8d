#include "platform/desktop/QtAudioOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <algorithm>

namespace kivra {

namespace {
constexpr qint64 kRetryMs = 500;
}  // namespace

QtAudioOutput::QtAudioOutput() { open(); }

bool QtAudioOutput::open() {
  lastTry_.start();
  const QAudioDevice out = QMediaDevices::defaultAudioOutput();
  QAudioFormat format;
  format.setSampleRate(static_cast<int>(kSampleRate));
  format.setChannelCount(kChannels);
  format.setSampleFormat(QAudioFormat::Int16);
  if (out.isNull() || !out.isFormatSupported(format)) return false;
  sink_ = std::make_unique<QAudioSink>(out, format);
  // Room for four mixer buffers in the device.
  sink_->setBufferSize(4 * 2048 * kChannels * 2);
  device_ = sink_->start();
  if (!device_ || sink_->error() != QAudio::NoError) {
    fallBackToSilence();
    return false;
  }
  // What the silent clock let through counts as heard.
  deviceBase_ = written_;
  clock_.invalidate();
  return true;
}

QtAudioOutput::~QtAudioOutput() {
  if (sink_) sink_->stop();
}

void QtAudioOutput::fallBackToSilence() {
  if (sink_) sink_->stop();
  sink_.reset();
  device_ = nullptr;
}

bool QtAudioOutput::write(const int16_t* samples, size_t frames) {
  if (device_ && sink_->error() != QAudio::NoError && sink_->error() != QAudio::UnderrunError) {
    // The server went away: the movie plays on, silently, from here.
    fallBackToSilence();
  }
  if (!device_ && !clock_.isValid()) clock_.start();
  if (device_) {
    const char* bytes = reinterpret_cast<const char*>(samples);
    qint64 left = static_cast<qint64>(frames * kChannels * sizeof(int16_t));
    while (left > 0) {
      const qint64 n = device_->write(bytes, left);
      if (n <= 0) break;  // full: the rest is dropped rather than waited for
      bytes += n;
      left -= n;
    }
  }
  written_ += frames;
  return true;
}

uint64_t QtAudioOutput::framesPlayed(uint64_t written) {
  uint64_t played;
  if (device_) {
    played = deviceBase_ + static_cast<uint64_t>(sink_->processedUSecs()) * kSampleRate / 1000000;
  } else {
    played = clock_.isValid() ? static_cast<uint64_t>(clock_.elapsed()) * kSampleRate / 1000 : 0;
  }
  return std::min(played, written);
}

size_t QtAudioOutput::framesWanted() {
  if (!device_ && lastTry_.elapsed() >= kRetryMs) open();
  if (device_) return static_cast<size_t>(std::max<qint64>(0, sink_->bytesFree()) / (kChannels * 2));
  const uint64_t played = framesPlayed(UINT64_MAX);
  const uint64_t target = played + kAheadFrames;
  return target > written_ ? static_cast<size_t>(target - written_) : 0;
}

}  // namespace kivra
