#pragma once
// A neutral model of one AMF0 value, between the bytes and whoever reads or
// writes them (script values, shared-object files, remoting packets): the
// codec knows nothing of scripts, the script side nothing of bytes.
//
// Objects are numbered in the order they are written (plain, typed, mixed
// and strict arrays each count one); a Reference names an earlier one by
// that number. The model holds references as numbers: whoever turns it into
// live objects keeps the table.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kivra {

// The kinds, by their marker byte. A long string (marker 12) reads as a
// String; a String of 65,536 bytes or more is written as one.
enum class AmfKind : uint8_t {
  Number = 0,
  Boolean = 1,
  String = 2,
  Object = 3,
  Null = 5,
  Undefined = 6,
  Reference = 7,
  MixedArray = 8,
  StrictArray = 10,
  Date = 11,
  Unsupported = 13,
  Xml = 15,
  TypedObject = 16,
};

struct AmfMember;

struct AmfValue {
  AmfKind kind = AmfKind::Undefined;
  bool boolean = false;
  double number = 0;       // Number; Date: milliseconds
  int16_t timeZone = 0;    // Date: the zone offset written with it
  uint32_t index = 0;      // Reference: the object's number; MixedArray: its count field
  std::string text;        // String, Xml; TypedObject: the class name
  std::vector<AmfMember> members;  // Object, MixedArray, TypedObject
  std::vector<AmfValue> elements;  // StrictArray

  static AmfValue ofNumber(double d);
  static AmfValue ofString(std::string s);
  static AmfValue ofKind(AmfKind k);
  // True for the kinds that take a number in the object table.
  bool countsAsObject() const {
    return kind == AmfKind::Object || kind == AmfKind::MixedArray || kind == AmfKind::StrictArray ||
           kind == AmfKind::TypedObject;
  }
  bool operator==(const AmfValue&) const;
};

struct AmfMember {
  std::string name;
  AmfValue value;
  bool operator==(const AmfMember&) const = default;
};

inline AmfValue AmfValue::ofKind(AmfKind k) {
  AmfValue v;
  v.kind = k;
  return v;
}

inline AmfValue AmfValue::ofNumber(double d) {
  AmfValue v = ofKind(AmfKind::Number);
  v.number = d;
  return v;
}

inline AmfValue AmfValue::ofString(std::string s) {
  AmfValue v = ofKind(AmfKind::String);
  v.text = std::move(s);
  return v;
}

inline bool AmfValue::operator==(const AmfValue& o) const {
  // Numbers compare by their bits: NaN equals NaN after a round trip.
  auto bits = [](double d) {
    uint64_t b;
    std::memcpy(&b, &d, 8);
    return b;
  };
  return kind == o.kind && boolean == o.boolean && bits(number) == bits(o.number) && timeZone == o.timeZone &&
         index == o.index && text == o.text && members == o.members && elements == o.elements;
}

}  // namespace kivra
