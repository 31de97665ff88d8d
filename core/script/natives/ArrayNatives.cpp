// The Array constructor and the Array.prototype methods (native class 252).
// The methods work on any object given as `this`: they read its `length`
// and the properties named by decimal indices. Only array-tagged objects get
// their length adjusted as elements come and go.
//
// Work is bounded: a method that would visit or make more than
// kMaxNativeElements elements does nothing, and a sort gives up (aborting the
// script) after kMaxSortComparisons comparisons.
#include <algorithm>
#include <cmath>
#include <vector>

#include "core/script/ArraySort.h"
#include "core/script/natives/NativeTable.h"
#include "core/script/NumberText.h"

namespace kivra {

namespace {

bool isArray(const ScriptObject* o) { return o->classTag() == ClassTag::Array; }

// `length` as a count of elements: NaN and negative values give 0.
double lengthOf(ScriptEngine& e, ScriptObject* o) {
  ScriptValue v;
  e.getMember(o, "length", v);
  const double n = std::trunc(e.toNumber(v));
  return std::isnan(n) || n < 0 ? 0 : n;
}

// Every element read counts as a step of the native's loop: a call over a
// million elements meets the time limit as a loop of actions would.
ScriptValue element(ScriptEngine& e, ScriptObject* o, double i) {
  nativeStep(e);
  const std::string name = indexName(i);
  Property* p = o->findOwn(name);
  if (!p) return ScriptValue();
  if (!p->accessor) return p->value;
  ScriptValue v;
  e.getMember(o, name, v);
  return v;
}

void setElement(ScriptEngine& e, ScriptObject* o, double i, const ScriptValue& v) {
  e.setMember(o, indexName(i), v);
}

// Sets the own `length` (made when missing); on an array a smaller length
// deletes the elements from the new length up to the old one.
void setLength(ScriptEngine& e, ScriptObject* o, double n) {
  (void)e;
  Property* p = o->findOwn("length");
  double old = 0;
  if (p) {
    old = p->value.isNumber() ? p->value.asNumber() : 0;
    p->value = ScriptValue::number(n);
  } else {
    o->append("length", ScriptValue::number(n), kDontEnum | kDontDelete);
  }
  if (!isArray(o) || !(n < old)) return;
  const double from = std::max(0.0, n);
  if (old - from <= static_cast<double>(o->propertyCount())) {
    for (double k = from; k < old; ++k)
      if (Property* q = o->findOwn(indexName(k))) o->remove(q);
    return;
  }
  // Far fewer properties than indices: look at the properties instead.
  for (Property* q = o->firstProperty(); q;) {
    Property* next = q->next;
    double k = 0;
    if (!q->name.empty() && q->name[0] >= '0' && q->name[0] <= '9' && readDecimal(q->name, false, k) &&
        k >= from && k < old && indexName(k) == q->name)
      o->remove(q);
    q = next;
  }
}

void append(ScriptEngine& e, ScriptObject* o, const ScriptValue& v) {
  const double n = lengthOf(e, o);
  setElement(e, o, n, v);
  if (!isArray(o)) setLength(e, o, n + 1);
}

ScriptObject* selfObject(NativeCall& c) { return c.thisValue.isObject() ? c.thisValue.asObject() : nullptr; }

void construct(NativeCall& c) {
  ScriptEngine& e = c.engine;
  ScriptObject* o = c.construct ? c.thisValue.asObject() : e.newArray();
  if (!o) return;
  ScriptValue keep = ScriptValue::object(o);
  o->setClassTag(ClassTag::Array);
  if (c.argc == 1 && c.args[0].isNumber()) {
    setLength(e, o, toInteger32(c.args[0].asNumber()));
  } else if (c.argc == 0) {
    setLength(e, o, 0);
  } else {
    setLength(e, o, 0);
    for (int i = 0; i < c.argc && i < kMaxNativeElements; ++i) append(e, o, c.args[i]);
  }
  if (!c.construct) c.result = keep;
}

void push(NativeCall& c) {
  ScriptObject* o = selfObject(c);
  if (!o) return;
  for (int i = 0; i < c.argc; ++i) append(c.engine, o, c.args[i]);
  c.result = ScriptValue::number(lengthOf(c.engine, o));
}

void pop(NativeCall& c) {
  ScriptObject* o = selfObject(c);
  if (!o) return;
  ScriptEngine& e = c.engine;
  const double n = lengthOf(e, o);
  if (n == 0) return;
  c.result = element(e, o, n - 1);
  e.deleteMember(o, indexName(n - 1));
  if (isArray(o)) setLength(e, o, n - 1);
}

void concat(NativeCall& c) {
  ScriptObject* o = selfObject(c);
  if (!o) return;
  ScriptEngine& e = c.engine;
  double total = lengthOf(e, o);
  for (int i = 0; i < c.argc; ++i) {
    ScriptObject* a = c.args[i].asObject();
    total += a && isArray(a) ? lengthOf(e, a) : 1;
  }
  if (total > kMaxNativeElements) return;
  ScriptObject* out = e.newArray();
  c.result = ScriptValue::object(out);
  double k = 0;
  auto copyFrom = [&](ScriptObject* a) {
    const double n = lengthOf(e, a);
    for (double i = 0; i < n; ++i) setElement(e, out, k++, element(e, a, i));
  };
  copyFrom(o);
  for (int i = 0; i < c.argc; ++i) {
    ScriptObject* a = c.args[i].asObject();
    if (a && isArray(a)) copyFrom(a);
    else setElement(e, out, k++, c.args[i]);
  }
  setLength(e, out, k);
}

// Moves the elements by a signed count: -1 for shift, the number of new
// elements for unshift.
void moveElements(ScriptEngine& e, ScriptObject* o, double n, double by) {
  if (n == 0 || by == 0) return;
  if (by < 0) {
    for (double i = 0; i - by < n; ++i) setElement(e, o, i, element(e, o, i - by));
    if (isArray(o)) setLength(e, o, std::max(0.0, n + by));
  } else {
    for (double i = n - 1; i >= 0; --i) setElement(e, o, i + by, element(e, o, i));
    for (double i = 0; i < by; ++i) setElement(e, o, i, ScriptValue());
    if (isArray(o)) setLength(e, o, n + by);
  }
}

void shift(NativeCall& c) {
  ScriptObject* o = selfObject(c);
  if (!o) return;
  ScriptEngine& e = c.engine;
  const double n = lengthOf(e, o);
  if (n == 0 || n > kMaxNativeElements) return;
  c.result = element(e, o, 0);
  moveElements(e, o, n, -1);
}

void unshift(NativeCall& c) {
  ScriptObject* o = selfObject(c);
  if (!o) return;
  ScriptEngine& e = c.engine;
  const double n = lengthOf(e, o);
  if (n + c.argc > kMaxNativeElements) return;
  if (c.argc > 0) {
    moveElements(e, o, n, c.argc);
    for (int i = 0; i < c.argc; ++i) setElement(e, o, i, c.args[i]);
  }
  c.result = ScriptValue::number(n + c.argc);
}

double slicePosition(double v, double n) { return v < 0 ? std::max(0.0, n + v) : std::min(v, n); }

void slice(NativeCall& c) {
  ScriptObject* o = selfObject(c);
  if (!o) return;
  ScriptEngine& e = c.engine;
  const double n = lengthOf(e, o);
  const double start = slicePosition(argPresent(c, 0) ? integerArg(c, 0) : 0, n);
  double end = slicePosition(argPresent(c, 1) ? integerArg(c, 1) : n, n);
  if (end < start) end = start;
  if (end - start > kMaxNativeElements) return;
  ScriptObject* out = e.newArray();
  c.result = ScriptValue::object(out);
  for (double i = start; i < end; ++i) setElement(e, out, i - start, element(e, o, i));
  setLength(e, out, end - start);
}

ScriptValue joined(NativeCall& c, ScriptObject* o, const ScriptValue& separator) {
  ScriptEngine& e = c.engine;
  const double n = lengthOf(e, o);
  if (n > kMaxNativeElements) return ScriptValue();
  const bool legacy = e.version() <= 5;
  auto narrowText = [&](const ScriptValue& v) {
    const ScriptValue s = e.toStringValue(v);
    const ScriptString* r = s.asString();
    return r ? text::convert(r->text(), r->legacyOrigin(), legacy, e.codePage()) : std::string();
  };
  const std::string sep = narrowText(separator);
  std::string out;
  for (double i = 0; i < n; ++i) {
    if (i > 0) out += sep;
    out += narrowText(element(e, o, i));
    // Bytes bound the units from above, so this never cuts a fitting result.
    if (out.size() > kMaxNativeStringUnits * 3) return ScriptValue();
  }
  return ScriptValue::string(out, legacy);
}

void join(NativeCall& c) {
  ScriptObject* o = selfObject(c);
  if (!o) return;
  c.result = joined(c, o, c.argc > 0 ? c.args[0] : c.engine.makeString(","));
}

void toString(NativeCall& c) {
  ScriptObject* o = selfObject(c);
  if (!o) return;
  c.result = joined(c, o, c.engine.makeString(","));
}

void splice(NativeCall& c) {
  ScriptObject* o = selfObject(c);
  if (!o || !argPresent(c, 0)) return;
  ScriptEngine& e = c.engine;
  const double n = lengthOf(e, o);
  if (n + c.argc > kMaxNativeElements) return;
  const double start = slicePosition(integerArg(c, 0), n);
  double count = n - start;
  if (c.argc >= 2) {
    if (c.args[1].isUndefined()) return;
    count = integerArg(c, 1);
    if (count < 0) return;
    count = std::min(count, n - start);
  }
  std::vector<ScriptValue> kept, removed;
  for (double i = 0; i < start; ++i) kept.push_back(element(e, o, i));
  for (int i = 2; i < c.argc; ++i) kept.push_back(c.args[i]);
  for (double i = start + count; i < n; ++i) kept.push_back(element(e, o, i));
  for (double i = start; i < start + count; ++i) removed.push_back(element(e, o, i));
  ScriptObject* out = e.newArray();
  c.result = ScriptValue::object(out);
  for (size_t i = 0; i < removed.size(); ++i) setElement(e, out, static_cast<double>(i), removed[i]);
  setLength(e, o, 0);
  for (const ScriptValue& v : kept) append(e, o, v);
}

void reverse(NativeCall& c) {
  ScriptObject* o = selfObject(c);
  if (!o) return;
  ScriptEngine& e = c.engine;
  const double n = lengthOf(e, o);
  if (n > kMaxNativeElements) return;
  for (double j = 0; j < n - 1 - j; ++j) {
    const ScriptValue low = element(e, o, j), high = element(e, o, n - 1 - j);
    setElement(e, o, j, high);
    setElement(e, o, n - 1 - j, low);
  }
  c.result = c.thisValue;
}

// The key of an element for sortOn: its own property of that name when it is
// an object that has one, else the element itself.
ScriptValue fieldKey(ScriptEngine& e, const ScriptValue& item, const std::string& field) {
  ScriptObject* o = item.isObject() || item.isClip() ? e.toObject(item) : nullptr;
  Property* p = o ? o->findOwn(field) : nullptr;
  if (!p) return item;
  if (!p->accessor) return p->value;
  ScriptValue v;
  e.getMember(o, field, v);
  return v;
}

void sortElements(NativeCall& c, const ScriptValue& comparator, const std::string* field) {
  ScriptObject* o = selfObject(c);
  if (!o) return;
  ScriptEngine& e = c.engine;
  const double n = lengthOf(e, o);
  if (n > kMaxNativeElements) return;
  std::vector<SortEntry> entries(static_cast<size_t>(n));
  for (size_t i = 0; i < entries.size(); ++i) {
    entries[i].item = element(e, o, static_cast<double>(i));
    entries[i].key = field ? fieldKey(e, entries[i].item, *field) : entries[i].item;
  }
  ScriptSortComparator compare(e, comparator);
  if (!sortDescendingThenReverse(entries, compare)) return;
  for (size_t i = 0; i < entries.size(); ++i) setElement(e, o, static_cast<double>(i), entries[i].item);
  c.result = c.thisValue;
}

void sort(NativeCall& c) {
  if (c.argc > 0) {
    if (!c.args[0].isObject() && !c.args[0].isClip()) return;
    sortElements(c, c.args[0], nullptr);
    return;
  }
  sortElements(c, ScriptValue(), nullptr);
}

void sortOn(NativeCall& c) {
  if (c.argc == 0) return;
  const std::string field = c.engine.toStdString(c.args[0]);
  sortElements(c, ScriptValue(), &field);
}

constexpr NativeMethod kArrayMethods[] = {
    {0, "Array", construct},
    {1, "push", push},
    {2, "pop", pop},
    {3, "concat", concat},
    {4, "shift", shift},
    {5, "unshift", unshift},
    {6, "slice", slice},
    {7, "join", join},
    {8, "splice", splice},
    {9, "toString", toString},
    {10, "sort", sort},
    {11, "reverse", reverse},
    {12, "sortOn", sortOn},
};

}  // namespace

const NativeClass kArrayNatives{kNativeArray, "Array", kArrayMethods};

}  // namespace kivra
