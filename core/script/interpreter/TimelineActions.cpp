// The timeline and clip actions of the record loop's general path, and
// those that go to the host (URLs, Trace, the clock), as one handler: the
// operands in `a` (top of the stack first), popped and converted by the
// descriptor; the result left in `num` or `result` as the descriptor's
// result kind says. They work on the context and the clips, none of the
// loop's own state, and run out of the loop: each calls out to the clips or
// the host anyway.
#include "core/script/Interpreter.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/script/PlayerServices.h"
#include "core/format/ActionReader.h"
#include "core/format/OpcodeTable.h"
#include "core/script/ActionContext.h"
#include "core/script/NumberText.h"
#include "core/script/ScriptEngine.h"

namespace kivra {

void Interpreter::clipAction(ScriptEngine& e, ActionContext& ctx, uint8_t code0, const ScriptValue* a,
                             ActionReader& r, double& num, ScriptValue& result) {
  constexpr auto op = [](Opcode o) { return static_cast<uint8_t>(o); };
  ScriptObject* target = nullptr;
  switch (code0) {
    case op(Opcode::NextFrame):
      if ((target = e.contextTarget(ctx))) e.bridge_->nextFrame(*target);
      break;
    case op(Opcode::PreviousFrame):
      if ((target = e.contextTarget(ctx))) e.bridge_->previousFrame(*target);
      break;
    case op(Opcode::Play):
      if ((target = e.contextTarget(ctx))) e.bridge_->play(*target);
      break;
    case op(Opcode::Stop):
      if ((target = e.contextTarget(ctx))) e.bridge_->stop(*target);
      break;
    case op(Opcode::GotoFrame):
      if ((target = e.contextTarget(ctx))) e.bridge_->gotoFrame(*target, r.u16(), false);
      break;
    case op(Opcode::GoToLabel):
      if ((target = e.contextTarget(ctx))) {
        const int frame = e.bridge_->frameOfLabel(*target, r.string());
        if (frame >= 0) e.bridge_->gotoFrame(*target, frame, false);
      }
      break;
    case op(Opcode::GotoFrame2):
    case op(Opcode::Call): {
      target = e.contextTarget(ctx);
      const uint8_t flags = code0 == op(Opcode::GotoFrame2) ? r.u8() : 0;
      const int bias = (flags & 2) ? r.u16() : 0;
      std::string_view spec = a[0].stringView();
      if (const size_t colon = spec.rfind(':'); colon != std::string_view::npos && target) {
        target = e.bridge_->resolvePath(target, spec.substr(0, colon), 0);
        spec = spec.substr(colon + 1);
      }
      if (!target || !target->isClipObject()) break;
      double d;
      // Counted in 64 bits: a frame number near the 32-bit limit plus the
      // bias lies past every timeline's end rather than wrapping around.
      const int64_t wanted = readDecimal(spec, false, d) ? int64_t{toInteger32(d)} - 1
                                                         : int64_t{e.bridge_->frameOfLabel(*target, spec)};
      if (wanted < 0) break;
      const int frame = static_cast<int>(std::min<int64_t>(wanted + bias, INT32_MAX));
      if (code0 == op(Opcode::GotoFrame2)) {
        e.bridge_->gotoFrame(*target, frame, flags & 1);
        break;
      }
      std::vector<ActionBlock> blocks;
      e.bridge_->frameActions(*target, frame, blocks);
      for (const ActionBlock& b : blocks) {
        if (e.abort_) break;
        ActionBlock run = b;
        run.clip = nullptr;
        e.runQueuedBlock(run);
      }
      e.version_ = ctx.version;
      e.version4_ = ctx.version4;
      break;
    }
    case op(Opcode::SetTarget2):
    case op(Opcode::SetTarget): {
      const std::string_view path = code0 == op(Opcode::SetTarget) ? r.string() : a[0].stringView();
      if (path.empty()) {
        ctx.hasOverride = false;
        ctx.override.clear();
      } else {
        ScriptObject* own = e.toObject(ctx.target);
        ScriptObject* t = own ? e.bridge_->resolvePath(own, path, ctx.version4 ? kPathVersion4 : 0) : nullptr;
        ctx.hasOverride = true;
        ctx.override = t ? (t->isClipObject() ? e.clipValue(t) : ScriptValue::object(t)) : ScriptValue();
      }
      if (ctx.kind == ActionContext::Queued && ctx.activation)
        ctx.activation->makeActivation().thisValue = ctx.hasOverride ? ctx.override : ctx.target;
      else if (ctx.kind == ActionContext::Queued)
        ctx.pendingThis = ctx.hasOverride ? &ctx.override : &ctx.target;
      break;
    }
    case op(Opcode::GetProperty):
    case op(Opcode::SetProperty): {
      const bool get = code0 == op(Opcode::GetProperty);
      const ScriptValue& path = get ? a[1] : a[2];
      const int index = toInteger32(get ? a[0].asNumber() : a[1].asNumber());
      target = e.contextTarget(ctx);
      if (!path.stringView().empty()) {
        ScriptObject* own = e.toObject(ctx.target);
        target = own ? e.bridge_->resolvePath(own, path.stringView(), ctx.version4 ? kPathVersion4 : 0) : nullptr;
      }
      if (target && !target->isClipObject()) target = nullptr;
      if (get) result = target ? e.bridge_->getProperty(*target, index) : ScriptValue();
      else if (target) e.bridge_->setProperty(*target, index, a[0]);
      break;
    }
    case op(Opcode::CloneSprite): {
      const int32_t depth = toInteger32(a[0].asNumber());
      target = e.contextTarget(ctx);
      ScriptObject* source = target ? e.bridge_->resolvePath(target, a[2].stringView(), 0) : nullptr;
      if (source && source->isClipObject() && depth >= 0 && depth < 2130706430)
        e.bridge_->cloneSprite(*source, a[1].stringView(), depth);
      break;
    }
    case op(Opcode::RemoveSprite): {
      target = e.contextTarget(ctx);
      ScriptObject* c = target ? e.bridge_->resolvePath(target, a[0].stringView(), 0) : nullptr;
      if (c && c->isClipObject()) e.bridge_->removeSprite(*c);
      break;
    }
    case op(Opcode::StartDrag): {
      double bounds[4];
      const bool constrain = a[2].asNumber() != 0;
      if (constrain) {
        // Popped bottom, right, top, left; kept as left, top, right, bottom in twips.
        const double bottom = e.toNumber(e.pop()), right = e.toNumber(e.pop()), top = e.toNumber(e.pop()),
                     left = e.toNumber(e.pop());
        bounds[0] = left * 20;
        bounds[1] = top * 20;
        bounds[2] = right * 20;
        bounds[3] = bottom * 20;
      }
      target = e.contextTarget(ctx);
      ScriptObject* c = target ? e.bridge_->resolvePath(target, a[0].stringView(), 0) : nullptr;
      if (c && c->isClipObject()) e.bridge_->startDrag(*c, a[1].asNumber() != 0, constrain ? bounds : nullptr);
      break;
    }
    case op(Opcode::EndDrag):
      e.bridge_->endDrag();
      break;
    case op(Opcode::TargetPath):
      if (a[0].isClip()) result = e.toStringValue(a[0]);
      break;
    case op(Opcode::ToggleQuality):
      e.bridge_->toggleQuality();
      break;
    case op(Opcode::StopSounds):
      e.bridge_->stopSounds();
      break;
    case op(Opcode::GetURL): {
      const std::string_view url = r.string();
      const std::string_view window = r.string();
      // "VXCommand:" URLs go to the host; everything else is a request.
      if (!e.player_.routeHostCommandUrl(std::string(url), std::string(window), nullptr))
        e.bridge_->getUrl(e.contextTarget(ctx), url, window, 0);
      break;
    }
    case op(Opcode::GetURL2):
      if (!e.player_.routeHostCommandUrl(std::string(a[1].stringView()), std::string(a[0].stringView()),
                                         nullptr))
        e.bridge_->getUrl(e.contextTarget(ctx), a[1].stringView(), a[0].stringView(), r.u8());
      break;
    case op(Opcode::Trace):
      e.player_.trace(std::string(a[0].stringView()));
      break;
    case op(Opcode::GetTime):
      num = static_cast<double>(e.player_.milliseconds() - e.player_.startTime());
      break;
    default:
      break;
  }
}

}  // namespace kivra
