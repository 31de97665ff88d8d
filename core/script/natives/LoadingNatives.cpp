// Loading by LoadVars and XML objects (class 301): load, send, sendAndLoad,
// and LoadVars' decode. The object's text form (its toString) is what
// send and sendAndLoad send; what comes back reaches the receiving
// object's onData.
#include <array>
#include <string_view>

#include "core/format/CaseInsensitive.h"
#include "core/format/TextEncoding.h"
#include "core/net/UrlVariables.h"
#include "core/script/PlayerServices.h"
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

enum : uint16_t { kLoad = 0, kSend, kSendAndLoad, kDecode };

constexpr std::array<std::string_view, 33> kRefusedHeaders = {
    "Accept-Encoding", "Accept-Ranges", "Age", "Allow", "Allowed", "Authorization", "Charge-To",
    "Connection", "Content-Length", "Content-Location", "Content-Range", "ETag", "Host", "Last-Modified",
    "Location", "Max-Forwards", "Proxy-Authenticate", "Proxy-Authorization", "Public", "Range", "Referer",
    "Retry-After", "Server", "TE", "Trailer", "Transfer-Encoding", "Upgrade", "URI", "User-Agent", "Vary",
    "Via", "Warning", "WWW-Authenticate"};

bool useCodepage(ScriptEngine& e) {
  ScriptValue system, flag;
  return e.getMember(e.global(), "System", system, false) && system.isObject() &&
         e.getMember(system.asObject(), "useCodepage", flag, false) && e.toBoolean(flag);
}

// The content type, with the object's extra headers folded in.
std::string contentType(ScriptEngine& e, ScriptObject& o) {
  std::string type = "application/x-www-form-urlencoded";
  ScriptValue v;
  if (e.getMember(&o, "contentType", v) && v.isString() && !v.stringView().empty()) type = e.toStdString(v);
  ScriptValue headers;
  ScriptObject* list = e.getMember(&o, "_customHeaders", headers) ? e.toObject(headers) : nullptr;
  if (!list) return type;
  std::vector<std::pair<std::string, std::string>> kept;
  ScriptValue lengthValue;
  const double length = e.getMember(list, "length", lengthValue) ? e.toNumber(lengthValue) : 0;
  for (int i = 0; i + 1 < static_cast<int>(std::min(length, 1e6)); i += 2) {
    ScriptValue name, value;
    e.getMember(list, std::to_string(i), name);
    e.getMember(list, std::to_string(i + 1), value);
    if (!name.isString() || !value.isString()) continue;
    const std::string n = e.toStdString(name), val = e.toStdString(value);
    if (n.empty() || val.empty()) continue;
    if (std::any_of(kRefusedHeaders.begin(), kRefusedHeaders.end(),
                    [&](std::string_view r) { return equalsIgnoringCase(n, r); }))
      continue;
    // Control characters would break the request's header lines.
    if ((n + val).find_first_of("\r\n") != std::string::npos) continue;
    if (equalsIgnoringCase(n, "Content-type")) {
      type = val;
      continue;
    }
    auto same = std::find_if(kept.begin(), kept.end(), [&](const auto& h) { return equalsIgnoringCase(h.first, n); });
    if (same != kept.end()) same->second = val;
    else kept.emplace_back(n, val);
  }
  for (const auto& [n, val] : kept) type += "\r\n" + n + ": " + val;
  return type;
}

// Starts a load into `target`: its loading state is reset, and a refused
// URL hears onData(undefined) at once.
bool startLoad(NativeCall& c, ScriptObject& target, UrlStreamRequest request) {
  ScriptEngine& e = c.engine;
  e.setMember(&target, "loaded", ScriptValue::boolean(false));
  e.setMember(&target, "_bytesLoaded", ScriptValue::number(0));
  e.setMember(&target, "_bytesTotal", ScriptValue());
  UrlRequests& requests = e.displayClips().urlRequests();
  if (!requests.dataLoadAllowed(request.url)) {
    const ScriptValue none;
    e.callMethod(ScriptValue::object(&target), "onData", &none, 1);
    return true;
  }
  request.url = requests.absoluteUrl(request.url);
  e.player().debugLog("LoadFile " + request.url + "\n");
  return e.displayClips().urlLoads().loadObject(request, target, e.version());
}

void method(NativeCall& c) {
  ScriptEngine& e = c.engine;
  ScriptObject* o = e.toObject(c.thisValue);
  if (!o) return;
  switch (c.method) {
    case kLoad: {
      if (c.argc < 1) return;
      UrlStreamRequest request;
      request.url = e.toStdString(c.arg(0));
      c.result = ScriptValue::boolean(startLoad(c, *o, request));
      break;
    }
    case kSend:
    case kSendAndLoad: {
      if (c.argc < 1) return;
      std::string data = e.toStdString(e.callMethod(c.thisValue, "toString", nullptr, 0));
      if (e.version() >= 6 && useCodepage(e)) data = text::convert(data, false, true, e.codePage());
      const int methodArg = 2;  // send(url, window, method), sendAndLoad(url, target, method)
      const bool get = c.argc > methodArg && equalsIgnoringCase(e.toStdString(c.arg(methodArg)), "GET");
      std::string url = e.toStdString(c.arg(0));
      if (get) url += "?" + data;
      if (c.method == kSend) {
        UrlRequest r;
        r.url = url;
        r.target = c.argc > 1 ? e.toStdString(c.arg(1)) : std::string();
        r.postData = get ? std::string() : data;
        r.hasPost = !get;
        r.version = e.version();
        e.displayClips().urlRequests().queue(std::move(r));
        c.result = ScriptValue::boolean(true);
        break;
      }
      ScriptObject* target = c.argc > 1 ? e.toObject(c.arg(1)) : nullptr;
      if (!target) return;
      UrlStreamRequest request;
      request.url = url;
      if (!get) {
        request.post = true;
        request.postData = data;
        request.contentType = contentType(e, *o);
      }
      c.result = ScriptValue::boolean(startLoad(c, *target, request));
      break;
    }
    case kDecode: {
      if (c.argc < 1) return;
      std::vector<UrlVariable> vars;
      decodeUrlVariables(e.toStdString(c.arg(0)), e.version(), useCodepage(e), e.codePage(), vars);
      for (const UrlVariable& v : vars) e.setMember(o, v.name, e.makeString(v.value));
      break;
    }
    default:
      break;
  }
}

constexpr NativeMethod kLoadingMethods[] = {
    {kLoad, "load", method},
    {kSend, "send", method},
    {kSendAndLoad, "sendAndLoad", method},
    {kDecode, "decode", method},
};

}  // namespace

const NativeClass kLoadingNatives{kNativeLoading, "loading", kLoadingMethods};

}  // namespace kivra
