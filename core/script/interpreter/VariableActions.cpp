// The variable actions of the record loop's general path (reads and writes
// by name, locals, deletion), array and object literals and enumeration,
// as one handler: the operands in `a` (top of the stack first), popped and
// converted by the descriptor; the result left in `flag` or `result` as the
// descriptor's result kind says, or pushed by the action itself. They work
// on the context and the engine, none of the loop's own state, and run out
// of the loop: each does a lookup, a definition or an allocation anyway.
#include "core/script/Interpreter.h"

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "core/format/OpcodeTable.h"
#include "core/script/ActionContext.h"
#include "core/script/ScriptEngine.h"

namespace kivra {

void Interpreter::variableAction(ScriptEngine& e, ActionContext& ctx, uint8_t code0, const ScriptValue* a,
                                 bool& flag, ScriptValue& result) {
  constexpr auto op = [](Opcode o) { return static_cast<uint8_t>(o); };
  switch (code0) {
    case op(Opcode::GetVariable):
      result = e.getVariable(ctx, a[0]);
      break;
    case op(Opcode::SetVariable):
      e.setVariable(ctx, a[1], a[0]);
      break;
    case op(Opcode::DefineLocal):
      if (ctx.kind != ActionContext::Queued) {
        if (e.definePendingLocal(ctx, a[1], a[0], kDontDelete, false)) break;
        ScriptObject* act = e.activationOf(ctx);
        if (Property* p = act->findOwn(a[1].asString())) p->value = a[0];
        else if (!a[1].stringView().empty()) act->append(a[1].stringView(), a[0], kDontDelete);
      } else {
        e.setVariable(ctx, a[1], a[0]);
      }
      break;
    case op(Opcode::DefineLocal2):
      if (ctx.kind != ActionContext::Queued) {
        if (e.definePendingLocal(ctx, a[0], ScriptValue(), kDontDelete, true)) break;
        ScriptObject* act = e.activationOf(ctx);
        if (!act->findOwn(a[0].asString()) && !a[0].stringView().empty())
          act->append(a[0].stringView(), ScriptValue(), kDontDelete);
      } else {
        const ScriptValue existing = e.getVariable(ctx, a[0]);
        if (existing.isUndefined()) e.setVariable(ctx, a[0], ScriptValue());
      }
      break;
    case op(Opcode::Delete):
      flag = e.deleteMember(e.toObject(a[1]), a[0].stringView());
      break;
    case op(Opcode::Delete2): {
      std::string_view name = a[0].stringView(), path, var;
      const bool hasPath = e.splitPath(ctx, name, path, var);
      if (hasPath) name = var;
      for (int i = ctx.scopeCount - 1; i >= 1 && !flag; --i) {
        ScriptObject* o = e.scopeObject(ctx, i);
        if (o && hasPath && !path.empty()) o = e.bridge_->resolvePath(o, path, 0);
        if (o && o->findOwn(name)) {
          flag = e.deleteMember(o, name);
          break;
        }
      }
      break;
    }
    case op(Opcode::InitArray): {
      const double countD = a[0].asNumber();
      const int count = std::isnan(countD) || countD < 0 ? 0 : countD > 65535 ? 65535 : static_cast<int>(countD);
      ScriptObject* arr = e.newArray();
      result = ScriptValue::object(arr);
      for (int i = 0; i < count && e.stack_.size() > 0; ++i) e.setMember(arr, std::to_string(i), e.pop());
      if (Property* len = arr->lengthProperty()) len->value = ScriptValue::number(count);
      e.push(std::move(result));
      break;
    }
    case op(Opcode::InitObject): {
      const double countD = a[0].asNumber();
      const int count = std::isnan(countD) || countD < 0 ? 0 : countD > 65535 ? 65535 : static_cast<int>(countD);
      ScriptObject* o = e.newObject();
      result = ScriptValue::object(o);
      for (int i = 0; i < count && e.stack_.size() > 0; ++i) {
        ScriptValue value = e.pop();
        ScriptValue name = e.toStringValue(e.pop());
        e.setMember(o, name, value);
      }
      e.push(std::move(result));
      break;
    }
    case op(Opcode::Enumerate):
    case op(Opcode::Enumerate2): {
      ScriptValue subject = code0 == op(Opcode::Enumerate) ? e.getVariable(ctx, a[0]) : a[0];
      e.push(ScriptValue::null());
      std::vector<std::string> names;
      e.enumerate(e.toObject(subject), names);
      for (const std::string& n : names) e.push(e.makeString(n));
      break;
    }
    default:
      break;
  }
}

}  // namespace kivra
