#pragma once
// A constant pool: the strings set by the ConstantPool action. Shared by the
// contexts and the functions defined while it was in force.
#include <cstdint>
#include <vector>

#include "core/script/ScriptValue.h"

namespace kivra {

class ConstantPool {
 public:
  // A pool with no reference yet: wrap it in a PoolRef at once.
  static ConstantPool* create() { return new ConstantPool(); }
  void retain() { ++refs_; }
  void release() {
    if (--refs_ == 0) delete this;
  }

  std::vector<ScriptValue> strings;
  // The payload it was parsed from, so a cached pool can be checked.
  std::vector<uint8_t> source;

 private:
  ConstantPool() = default;
  ~ConstantPool() = default;
  uint32_t refs_ = 0;
};

// A counted reference to a pool (or none).
class PoolRef {
 public:
  PoolRef() = default;
  explicit PoolRef(ConstantPool* p) : p_(p) {
    if (p_) p_->retain();
  }
  PoolRef(const PoolRef& o) : p_(o.p_) {
    if (p_) p_->retain();
  }
  PoolRef& operator=(const PoolRef& o) {
    if (o.p_) o.p_->retain();
    if (p_) p_->release();
    p_ = o.p_;
    return *this;
  }
  ~PoolRef() {
    if (p_) p_->release();
  }
  // A copy that adds no reference, into an empty ref whose source outlives
  // it; emptied with forget(), which drops nothing.
  void borrow(const PoolRef& o) { p_ = o.p_; }
  void forget() { p_ = nullptr; }
  ConstantPool* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  ConstantPool* p_ = nullptr;
};

}  // namespace kivra
