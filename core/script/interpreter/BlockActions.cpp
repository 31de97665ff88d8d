// The actions of the record loop's general path that change the block's
// course or context: DefineFunction (its body is skipped), With (its block
// is entered or skipped), ConstantPool and WaitForFrame (actions to skip),
// as one handler: the operands in `a` (top of the stack first), popped and
// converted by the descriptor. Given the loop's place, they hand back where
// it goes on and how many actions it skips; they run out of the loop, being
// rare.
#include "core/script/Interpreter.h"

#include <string_view>

#include "core/format/ActionReader.h"
#include "core/format/OpcodeTable.h"
#include "core/script/ActionContext.h"
#include "core/script/NumberText.h"
#include "core/script/ScriptEngine.h"

namespace kivra {

Interpreter::Resume Interpreter::blockAction(ScriptEngine& e, ActionContext& ctx, uint8_t code0, const ScriptValue* a,
                                             const uint8_t* code, size_t length, const uint8_t* payload,
                                             size_t payloadLength, Resume resume) {
  constexpr auto op = [](Opcode o) { return static_cast<uint8_t>(o); };
  ActionReader r(payload, payloadLength);
  ScriptObject* target = nullptr;
  switch (code0) {
    case op(Opcode::DefineFunction):
    case op(Opcode::DefineFunction2): {
      // The body size is the last field of the record.
      const size_t bodySize = payloadLength >= 2 ? (payload[payloadLength - 2] | (payload[payloadLength - 1] << 8)) : 0;
      const size_t bodyStart = resume.pc <= length ? resume.pc : length;
      const size_t bodyLength = bodySize < length - bodyStart ? bodySize : length - bodyStart;
      e.defineFunction(ctx, payload, payloadLength, code + bodyStart, bodyLength,
                       code0 == op(Opcode::DefineFunction2));
      resume.pc = bodyStart + bodyLength;
      break;
    }
    case op(Opcode::With): {
      const size_t size = r.u16();
      ScriptObject* o = e.toObject(a[0]);
      if (!o || ctx.scopeCount >= kMaxScope || ctx.withCount >= kMaxScope) {
        resume.pc += size;
        break;
      }
      ctx.scope[ctx.scopeCount].object = a[0].isClip() ? a[0] : ScriptValue::object(o);
      ctx.scope[ctx.scopeCount].isWith = true;
      ++ctx.scopeCount;
      ctx.withStart[ctx.withCount] = resume.pc;
      ctx.withEnd[ctx.withCount] = resume.pc + size;
      ++ctx.withCount;
      break;
    }
    case op(Opcode::ConstantPool):
      if (ctx.borrowedPool) {
        ctx.pool.forget();
        ctx.borrowedPool = false;
      }
      ctx.pool = e.constantPool(payload, payloadLength);
      break;
    case op(Opcode::WaitForFrame):
    case op(Opcode::WaitForFrame2): {
      int frame = 0;
      bool known = true;
      int count = 0;
      target = e.contextTarget(ctx);
      if (code0 == op(Opcode::WaitForFrame)) {
        frame = r.u16();
        count = r.u8();
      } else {
        count = r.u8();
        std::string_view spec = a[0].stringView(), path;
        if (const size_t colon = spec.rfind(':'); colon != std::string_view::npos && target) {
          path = spec.substr(0, colon);
          spec = spec.substr(colon + 1);
          target = e.bridge_->resolvePath(target, path, 0);
        }
        double d;
        if (readDecimal(spec, false, d)) frame = toInteger32(d) - 1;
        else if (target) frame = e.bridge_->frameOfLabel(*target, spec);
        known = frame >= 0;
      }
      if (!target || !target->isClipObject()) break;
      if (known && e.bridge_->framesLoaded(*target) <= frame) resume.skip = count;
      break;
    }
    default:
      break;
  }
  return resume;
}

}  // namespace kivra
