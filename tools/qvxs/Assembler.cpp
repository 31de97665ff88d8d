#include "tools/qvxs/Assembler.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "core/format/TagCursor.h"

namespace kivra::qvxs {

using kit::ActionWriter;
using kit::PushItem;

namespace {
struct FlagName {
  uint16_t bit;
  const char* name;
};
constexpr FlagName kFunction2Flags[] = {
    {kPreloadThis, "preloadThis"},         {kSuppressThis, "suppressThis"},   {kPreloadArguments, "preloadArguments"},
    {kSuppressArguments, "suppressArguments"}, {kPreloadSuper, "preloadSuper"}, {kSuppressSuper, "suppressSuper"},
    {kPreloadRoot, "preloadRoot"},         {kPreloadParent, "preloadParent"}, {kPreloadGlobal, "preloadGlobal"},
};

bool parsePushItem(const std::string& w, PushItem& item) {
  std::string s;
  int64_t n;
  double d;
  if (parseQuoted(w, s)) {
    item = PushItem::str(s);
  } else if (w == "null") {
    item = PushItem::null();
  } else if (w == "undefined") {
    item = PushItem::undefined();
  } else if (w == "true" || w == "false") {
    item = PushItem::boolean(w == "true");
  } else if (w.rfind("f:", 0) == 0) {
    if (!parseDouble(w.substr(2), d)) return false;
    item = PushItem::floating(static_cast<float>(d));
  } else if (w.rfind("r:", 0) == 0) {
    if (!parseInt(w.substr(2), n) || n < 0 || n > 255) return false;
    item = PushItem::reg(static_cast<uint8_t>(n));
  } else if (w.rfind("b:", 0) == 0) {
    if (!parseInt(w.substr(2), n) || n < 0 || n > 255) return false;
    item = PushItem::boolean(false);
    item.integer = static_cast<int32_t>(n);
  } else if (w.rfind("c16:", 0) == 0) {
    if (!parseInt(w.substr(4), n) || n < 0 || n > 0xFFFF) return false;
    item = PushItem::constant16(static_cast<uint16_t>(n));
  } else if (w.rfind("c:", 0) == 0) {
    if (!parseInt(w.substr(2), n) || n < 0 || n > 0xFFFF) return false;
    item = PushItem::constant(static_cast<uint16_t>(n));
  } else if (w.find_first_of(".eEn") == std::string::npos && parseInt(w, n)) {
    if (n < INT32_MIN || n > INT32_MAX) return false;
    item = PushItem::integ(static_cast<int32_t>(n));
  } else if (parseDouble(w, d)) {
    item = PushItem::dbl(d);
  } else {
    return false;
  }
  return true;
}

std::string formatPushDouble(double v) {
  std::string s = formatDouble(v);
  if (s.find_first_of(".eni") == std::string::npos) s += ".0";  // keeps it apart from an integer
  return s;
}

bool uintWord(const Node& node, size_t i, int64_t hi, int64_t& out, Diagnostics& diag) {
  if (i >= node.words.size()) {
    diag.error(node.line, node.head() + ": missing operand");
    return false;
  }
  if (!parseInt(node.words[i], out) || out < 0 || out > hi) {
    diag.error(node.line, node.head() + ": '" + node.words[i] + "' is not a number in 0.." + std::to_string(hi));
    return false;
  }
  return true;
}

bool quotedWord(const Node& node, size_t i, std::string& out, Diagnostics& diag) {
  if (i >= node.words.size() || !parseQuoted(node.words[i], out)) {
    diag.error(node.line, node.head() + ": expected a quoted string as operand " + std::to_string(i));
    return false;
  }
  return true;
}

bool operandCount(const Node& node, size_t count, Diagnostics& diag) {
  if (node.words.size() == count + 1) return true;
  diag.error(node.line, node.head() + " takes " + std::to_string(count) + " operand" + (count == 1 ? "" : "s"));
  return false;
}

bool isLabelName(const std::string& s) {
  if (s.empty()) return false;
  if (!(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  for (char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.')) return false;
  return true;
}

bool assembleLine(const Node& node, ActionWriter& w, Diagnostics& diag);

bool body(const Node& node, ActionWriter& w, Diagnostics& diag) {
  if (!node.hasBlock) {
    diag.error(node.line, node.head() + " needs a body: end the line with '{'");
    return false;
  }
  bool ok = assembleLines(node.children, w, diag);
  w.endBlock();
  return ok;
}

bool assembleLine(const Node& node, ActionWriter& w, Diagnostics& diag) {
  const std::string& head = node.head();
  if (node.words.size() == 1 && head.size() > 1 && head.back() == ':' && !node.hasBlock) {
    const std::string name = head.substr(0, head.size() - 1);
    if (!isLabelName(name)) {
      diag.error(node.line, "'" + name + "' is not a valid label name");
      return false;
    }
    w.label(name);
    return true;
  }
  if (head == "op") {
    int64_t code;
    std::vector<uint8_t> payload;
    if (!uintWord(node, 1, 255, code, diag)) return false;
    if (!parseHexWords(node.words, 2, payload)) {
      diag.error(node.line, "op: payload must be hex bytes");
      return false;
    }
    if (code < 0x80 && !payload.empty()) {
      diag.error(node.line, "op: codes below 0x80 carry no payload");
      return false;
    }
    w.raw(static_cast<uint8_t>(code), payload);
    return true;
  }
  const OpcodeInfo* info = opcodeByName(head.c_str());
  if (!info) {
    diag.error(node.line, "unknown mnemonic '" + head + "'");
    return false;
  }
  const bool wantsBlock = info->payload == PayloadKind::Function || info->payload == PayloadKind::Function2 ||
                          info->payload == PayloadKind::BlockSize;
  if (node.hasBlock && !wantsBlock) {
    diag.error(node.line, std::string(info->name) + " takes no body");
    return false;
  }
  const Opcode code = static_cast<Opcode>(info->code);
  int64_t a = 0, b = 0;
  std::string s, t;
  switch (info->payload) {
    case PayloadKind::None:
    case PayloadKind::Empty:
      if (!operandCount(node, 0, diag)) return false;
      w.op(code);
      return true;
    case PayloadKind::Frame:
      if (!operandCount(node, 1, diag) || !uintWord(node, 1, 0xFFFF, a, diag)) return false;
      w.gotoFrame(static_cast<uint16_t>(a));
      return true;
    case PayloadKind::UrlTarget:
      if (!operandCount(node, 2, diag) || !quotedWord(node, 1, s, diag) || !quotedWord(node, 2, t, diag)) return false;
      w.getUrl(s, t);
      return true;
    case PayloadKind::Register:
    case PayloadKind::Byte:
      if (!operandCount(node, 1, diag) || !uintWord(node, 1, 255, a, diag)) return false;
      w.raw(info->code, {static_cast<uint8_t>(a)});
      return true;
    case PayloadKind::ConstantPool: {
      std::vector<std::string> pool;
      for (size_t i = 1; i < node.words.size(); ++i) {
        if (!quotedWord(node, i, s, diag)) return false;
        pool.push_back(s);
      }
      w.constantPool(pool);
      return true;
    }
    case PayloadKind::WaitForFrame:
      if (!operandCount(node, 2, diag) || !uintWord(node, 1, 0xFFFF, a, diag) || !uintWord(node, 2, 255, b, diag))
        return false;
      w.waitForFrame(static_cast<uint16_t>(a), static_cast<uint8_t>(b));
      return true;
    case PayloadKind::String:
      if (!operandCount(node, 1, diag) || !quotedWord(node, 1, s, diag)) return false;
      if (code == Opcode::SetTarget) w.setTarget(s);
      else w.goToLabel(s);
      return true;
    case PayloadKind::Push: {
      std::vector<PushItem> items;
      for (size_t i = 1; i < node.words.size(); ++i) {
        PushItem item;
        if (!parsePushItem(node.words[i], item)) {
          diag.error(node.line, "Push: '" + node.words[i] + "' is not a push value");
          return false;
        }
        items.push_back(item);
      }
      w.push(items);
      return true;
    }
    case PayloadKind::Branch: {
      if (!operandCount(node, 1, diag)) return false;
      const std::string& target = node.words[1];
      if (isLabelName(target)) {
        if (code == Opcode::Jump) w.jump(target);
        else w.ifTrue(target);
      } else if (parseInt(target, a) && a >= -32768 && a <= 32767) {
        w.branch(code, static_cast<int16_t>(a));
      } else {
        diag.error(node.line, std::string(info->name) + ": '" + target + "' is neither a label nor an offset");
        return false;
      }
      return true;
    }
    case PayloadKind::GotoFrame2: {
      Args args(node, diag);
      const bool play = args.flag("play");
      std::optional<uint16_t> bias;
      if (auto v = args.value("bias")) {
        if (!intArg(args, *v, 0, 0xFFFF, a, "bias")) return false;
        bias = static_cast<uint16_t>(a);
      }
      if (!args.expect(0, 0, "GotoFrame2 [play] [bias=N]")) return false;
      args.finish();
      w.gotoFrame2(play, bias ? &*bias : nullptr);
      return diag.ok();
    }
    case PayloadKind::Function: {
      std::vector<std::string> params;
      if (!quotedWord(node, 1, s, diag)) return false;
      for (size_t i = 2; i < node.words.size(); ++i) {
        if (!quotedWord(node, i, t, diag)) return false;
        params.push_back(t);
      }
      w.beginFunction(s, params);
      return body(node, w, diag);
    }
    case PayloadKind::Function2: {
      if (!quotedWord(node, 1, s, diag)) return false;
      uint8_t regs = 0;
      uint16_t flags = 0;
      std::vector<kit::FunctionParam> params;
      for (size_t i = 2; i < node.words.size(); ++i) {
        const std::string& word = node.words[i];
        if (word.rfind("regs=", 0) == 0) {
          if (!parseInt(word.substr(5), a) || a < 0 || a > 255) {
            diag.error(node.line, "regs= needs a number in 0..255");
            return false;
          }
          regs = static_cast<uint8_t>(a);
        } else if (word.rfind("flags=", 0) == 0) {
          for (const std::string& f : splitList(word.substr(6))) {
            bool found = false;
            for (const FlagName& fn : kFunction2Flags) {
              if (f == fn.name) {
                flags |= fn.bit;
                found = true;
              }
            }
            if (!found) {
              if (!parseInt(f, a) || a < 0 || a > 0xFFFF) {
                diag.error(node.line, "unknown function flag '" + f + "'");
                return false;
              }
              flags |= static_cast<uint16_t>(a);
            }
          }
        } else {
          kit::FunctionParam param;
          std::string name = word;
          if (word.rfind("r", 0) == 0 && word.find(':') != std::string::npos) {
            const size_t colon = word.find(':');
            if (!parseInt(word.substr(1, colon - 1), a) || a < 0 || a > 255) {
              diag.error(node.line, "bad parameter register in '" + word + "'");
              return false;
            }
            param.reg = static_cast<uint8_t>(a);
            name = word.substr(colon + 1);
          }
          if (!parseQuoted(name, param.name)) {
            diag.error(node.line, "parameter '" + word + "' must be \"name\" or rN:\"name\"");
            return false;
          }
          params.push_back(param);
        }
      }
      w.beginFunction2(s, regs, flags, params);
      return body(node, w, diag);
    }
    case PayloadKind::BlockSize:
      if (!operandCount(node, 0, diag)) return false;
      w.beginWith();
      return body(node, w, diag);
  }
  return false;
}
}  // namespace

bool assembleLines(const std::vector<Node>& lines, ActionWriter& w, Diagnostics& diag) {
  bool ok = true;
  for (const Node& node : lines) ok = assembleLine(node, w, diag) && ok;
  return ok;
}

bool assembleBlock(const std::vector<Node>& lines, int line, std::vector<uint8_t>& out, Diagnostics& diag) {
  ActionWriter w;
  if (!assembleLines(lines, w, diag)) return false;
  std::string error;
  if (!w.finish(out, error)) {
    diag.error(line, error);
    return false;
  }
  return true;
}

std::string hexBytes(const uint8_t* p, size_t n) {
  std::string s;
  char buf[4];
  for (size_t i = 0; i < n; ++i) {
    if (i && i % 32 == 0) s += ' ';
    std::snprintf(buf, sizeof buf, "%02x", p[i]);
    s += buf;
  }
  return s;
}

bool parseHexWords(const std::vector<std::string>& words, size_t first, std::vector<uint8_t>& out) {
  for (size_t i = first; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w.size() % 2) return false;
    for (size_t j = 0; j < w.size(); j += 2) {
      int64_t v;
      if (!std::isxdigit(static_cast<unsigned char>(w[j])) || !std::isxdigit(static_cast<unsigned char>(w[j + 1])) ||
          !parseInt("0x" + w.substr(j, 2), v))
        return false;
      out.push_back(static_cast<uint8_t>(v));
    }
  }
  return true;
}

// Disassembly

namespace {
struct Record {
  size_t start = 0, payload = 0, end = 0;
  uint8_t code = 0;
  size_t bodyEnd = 0;  // for records that open a body
  bool opens = false;
  bool branch = false;
  int64_t target = 0;
};

// The payload as operands, or false when it does not decode exactly.
bool formatPayload(const OpcodeInfo& info, const uint8_t* p, size_t len, std::string& out) {
  TagCursor c(p, static_cast<int64_t>(len));
  std::string s;
  switch (info.payload) {
    case PayloadKind::None:
    case PayloadKind::Empty:
      break;
    case PayloadKind::Frame:
      s = std::to_string(c.readU16());
      break;
    case PayloadKind::UrlTarget: {
      std::string url = c.readString();
      s = quote(url) + " " + quote(c.readString());
      break;
    }
    case PayloadKind::Register:
    case PayloadKind::Byte:
      s = std::to_string(c.readU8());
      break;
    case PayloadKind::ConstantPool: {
      const unsigned count = c.readU16();
      for (unsigned i = 0; i < count && !c.overrun(); ++i) s += (i ? " " : "") + quote(c.readString());
      break;
    }
    case PayloadKind::WaitForFrame: {
      const unsigned frame = c.readU16();
      s = std::to_string(frame) + " " + std::to_string(c.readU8());
      break;
    }
    case PayloadKind::String:
      s = quote(c.readString());
      break;
    case PayloadKind::Push:
      while (c.remaining() > 0 && !c.overrun()) {
        if (!s.empty()) s += " ";
        const uint8_t type = c.readU8();
        switch (static_cast<PushType>(type)) {
          case PushType::String: s += quote(c.readString()); break;
          case PushType::Float: s += "f:" + formatFloat(c.readFloat()); break;
          case PushType::Null: s += "null"; break;
          case PushType::Undefined: s += "undefined"; break;
          case PushType::Register: s += "r:" + std::to_string(c.readU8()); break;
          case PushType::Boolean: {
            const uint8_t b = c.readU8();
            s += b == 0 ? "false" : b == 1 ? "true" : "b:" + std::to_string(b);
            break;
          }
          case PushType::Double: {
            const uint64_t hi = c.readU32();
            const uint64_t lo = c.readU32();
            const uint64_t bits = (hi << 32) | lo;
            double d;
            std::memcpy(&d, &bits, sizeof d);
            s += formatPushDouble(d);
            break;
          }
          case PushType::Integer: s += std::to_string(static_cast<int32_t>(c.readU32())); break;
          case PushType::Constant8: s += "c:" + std::to_string(c.readU8()); break;
          case PushType::Constant16: s += "c16:" + std::to_string(c.readU16()); break;
          default: return false;
        }
      }
      break;
    case PayloadKind::Branch:
      s = std::to_string(c.readS16());
      break;
    case PayloadKind::GotoFrame2: {
      const uint8_t flags = c.readU8();
      if (flags & ~3u) return false;
      if (flags & 1) s = "play";
      if (flags & 2) s += std::string(s.empty() ? "" : " ") + "bias=" + std::to_string(c.readU16());
      break;
    }
    case PayloadKind::Function: {
      s = quote(c.readString());
      const unsigned count = c.readU16();
      for (unsigned i = 0; i < count && !c.overrun(); ++i) s += " " + quote(c.readString());
      c.readU16();  // body size
      break;
    }
    case PayloadKind::Function2: {
      s = quote(c.readString());
      const unsigned count = c.readU16();
      const unsigned regs = c.readU8();
      uint16_t flags = c.readU16();
      if (regs) s += " regs=" + std::to_string(regs);
      if (flags) {
        std::string names;
        for (const FlagName& fn : kFunction2Flags) {
          if (flags & fn.bit) {
            names += (names.empty() ? "" : ",") + std::string(fn.name);
            flags = static_cast<uint16_t>(flags & ~fn.bit);
          }
        }
        if (flags) names += (names.empty() ? "" : ",") + std::to_string(flags);
        s += " flags=" + names;
      }
      for (unsigned i = 0; i < count && !c.overrun(); ++i) {
        const unsigned reg = c.readU8();
        const std::string name = quote(c.readString());
        s += " " + (reg ? "r" + std::to_string(reg) + ":" : std::string()) + name;
      }
      c.readU16();
      break;
    }
    case PayloadKind::BlockSize:
      c.readU16();
      break;
  }
  if (c.overrun() || c.remaining() != 0) return false;
  out = s;
  return true;
}
}  // namespace

bool disassemble(const uint8_t* p, size_t n, int indent, std::vector<std::string>& out) {
  if (n == 0 || p[n - 1] != 0) return false;
  const size_t codeEnd = n - 1;  // the trailing End action
  std::vector<Record> records;
  std::set<size_t> starts;
  size_t pos = 0;
  while (pos < codeEnd) {
    Record r;
    r.start = pos;
    r.code = p[pos++];
    size_t len = 0;
    if (r.code >= 0x80) {
      if (codeEnd - pos < 2) return false;
      len = p[pos] | (p[pos + 1] << 8);
      pos += 2;
    }
    if (codeEnd - pos < len) return false;
    r.payload = pos;
    r.end = pos + len;
    pos = r.end;
    const OpcodeInfo* info = opcodeInfo(r.code);
    if (info && len >= 2 &&
        (info->payload == PayloadKind::Function || info->payload == PayloadKind::Function2 ||
         info->payload == PayloadKind::BlockSize)) {
      r.opens = true;
      r.bodyEnd = r.end + (p[r.end - 2] | (p[r.end - 1] << 8));
    }
    if (info && info->payload == PayloadKind::Branch && len == 2) {
      r.branch = true;
      r.target = static_cast<int64_t>(r.end) + static_cast<int16_t>(p[r.payload] | (p[r.payload + 1] << 8));
    }
    starts.insert(r.start);
    records.push_back(r);
  }
  starts.insert(codeEnd);
  std::map<size_t, std::string> labels;
  for (const Record& r : records)
    if (r.branch && r.target >= 0 && starts.count(static_cast<size_t>(r.target))) labels[static_cast<size_t>(r.target)];
  int next = 1;
  for (auto& [at, name] : labels) name = "L" + std::to_string(next++);

  std::vector<size_t> open;  // body ends
  auto pad = [&](int extra) { return std::string(static_cast<size_t>(indent + 2 * (static_cast<int>(open.size()) + extra)), ' '); };
  auto closeBodies = [&](size_t at) {
    while (!open.empty() && open.back() == at) {
      open.pop_back();
      out.push_back(pad(0) + "}");
    }
    return open.empty() || open.back() > at;
  };
  for (const Record& r : records) {
    if (!closeBodies(r.start)) return false;
    auto label = labels.find(r.start);
    if (label != labels.end()) out.push_back(pad(-1) + label->second + ":");
    const OpcodeInfo* info = opcodeInfo(r.code);
    std::string operands;
    if (!info || !formatPayload(*info, p + r.payload, r.end - r.payload, operands)) {
      std::string line = pad(0) + "op 0x" + hexBytes(&r.code, 1);
      if (r.end > r.payload) line += " " + hexBytes(p + r.payload, r.end - r.payload);
      out.push_back(line);
      continue;
    }
    if (r.branch) {
      auto target = r.target >= 0 ? labels.find(static_cast<size_t>(r.target)) : labels.end();
      if (target != labels.end()) operands = target->second;
    }
    std::string line = pad(0) + info->name + (operands.empty() ? "" : " " + operands);
    if (r.opens) {
      if (r.bodyEnd > codeEnd || (!open.empty() && r.bodyEnd > open.back())) return false;
      out.push_back(line + " {");
      open.push_back(r.bodyEnd);
      continue;
    }
    out.push_back(line);
  }
  if (!closeBodies(codeEnd) || !open.empty()) return false;
  auto label = labels.find(codeEnd);
  if (label != labels.end()) out.push_back(pad(-1) + label->second + ":");
  return true;
}

}  // namespace kivra::qvxs
