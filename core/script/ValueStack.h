#pragma once
// The operand stack: a growable array of values with the small part of the
// std::vector interface the engine uses, whose push and pop stay inline.
// Slots above the top are kept undefined, so a push is one move into an
// empty slot and a pop one move out of it. Growing moves the values, so a
// reference into the stack is only good until the next push.
#include <cstddef>
#include <memory>
#include <utility>

#include "core/script/ScriptValue.h"

namespace kivra {

class ValueStack {
 public:
  ValueStack() = default;
  ValueStack(const ValueStack&) = delete;
  ValueStack& operator=(const ValueStack&) = delete;

  size_t size() const { return top_; }
  bool empty() const { return top_ == 0; }
  size_t capacity() const { return capacity_; }
  // Room for n values; growing at least doubles, so that reserving a
  // little more before each push stays linear.
  void reserve(size_t n) {
    if (n > capacity_) [[unlikely]] grow(n > capacity_ * 2 ? n : capacity_ * 2);
  }

  ScriptValue& operator[](size_t i) { return data_[i]; }
  const ScriptValue& operator[](size_t i) const { return data_[i]; }
  ScriptValue& back() { return data_[top_ - 1]; }
  ScriptValue* begin() { return data_.get(); }
  ScriptValue* end() { return data_.get() + top_; }

  [[gnu::always_inline]] void push_back(ScriptValue&& v) {
    if (top_ == capacity_) grow(capacity_ ? capacity_ * 2 : 128);
    data_[top_++].fillEmpty(std::move(v));
  }
  [[gnu::always_inline]] void push_back(const ScriptValue& v) {
    if (top_ == capacity_) {
      ScriptValue copy(v);  // `v` may live in the stack
      grow(capacity_ ? capacity_ * 2 : 128);
      data_[top_++].fillEmpty(std::move(copy));
      return;
    }
    data_[top_++].fillEmpty(v);
  }
  // The empty slot above the top (after reserve() made room for it), to be
  // filled in place and then counted in with pushFilled().
  ScriptValue& slotAbove() { return data_[top_]; }
  void pushFilled() { ++top_; }
  // A push after reserve() made room for it.
  [[gnu::always_inline]] void pushReserved(const ScriptValue& v) { data_[top_++].fillEmpty(v); }
  void pop_back() { data_[--top_].clear(); }
  // Pops of a top known to be a string or an object: the reference is
  // dropped without asking the kind.
  void popString() { data_[--top_].clearString(); }
  void popObject() { data_[--top_].clearObject(); }
  // Pop of a top known to hold no reference (a number, a boolean).
  void popPlain() { data_[--top_].forget(); }
  // The top value, moved out.
  ScriptValue take() { return std::move(data_[--top_]); }
  void clear() {
    while (top_ > 0) pop_back();
  }

 private:
  [[gnu::noinline]] void grow(size_t n) {
    std::unique_ptr<ScriptValue[]> bigger(new ScriptValue[n]);
    for (size_t i = 0; i < top_; ++i) bigger[i] = std::move(data_[i]);
    data_ = std::move(bigger);
    capacity_ = n;
  }

  std::unique_ptr<ScriptValue[]> data_;
  size_t top_ = 0;
  size_t capacity_ = 0;
};

}  // namespace kivra
