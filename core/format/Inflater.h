#pragma once
// A zlib stream inflater that writes into caller-owned room and remembers
// when the stream has ended or failed; after that it produces nothing more.
#include <cstddef>
#include <cstdint>

#include <zlib.h>

namespace kivra {

class Inflater {
 public:
  Inflater();
  ~Inflater();
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  bool ok() const { return initialized_; }
  // Inflates as much of `in` as fits into `out`; returns the bytes produced.
  // *consumed receives how much input was taken.
  size_t inflate(const uint8_t* in, size_t inCount, size_t* consumed, uint8_t* out, size_t room);
  // The stream ended or hit an error; no more output will come.
  bool finished() const { return finished_; }

 private:
  z_stream stream_{};
  bool initialized_ = false;
  bool finished_ = false;
};

}  // namespace kivra
