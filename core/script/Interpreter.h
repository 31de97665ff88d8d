#pragma once
// The action interpreter: one loop over the decoded records of a block,
// run on the state of the engine it is given (operand stack, contexts,
// caches, limits). It keeps no state of its own between runs, so that the
// loop's working values stay in registers and a call nests a run by a plain
// function call.
#include <cstddef>
#include <cstdint>

namespace kivra {

struct ActionContext;
class ActionReader;
class DecodedBlock;
class ScriptEngine;
class ScriptValue;

class Interpreter {
 public:
  Interpreter() = delete;
  // Runs `block`, decoded from `code` as the context's version reads it,
  // in `ctx` until its end, a Return or the abort flag.
  static void run(ScriptEngine& engine, ActionContext& ctx, const uint8_t* code, size_t length,
                  const DecodedBlock& block);

 private:
  // Where the loop goes on after an action that moves it: the position and
  // the actions left to skip.
  struct Resume {
    size_t pc;
    int skip;
  };
  // Function definitions, With, ConstantPool and WaitForFrame, a family of
  // the general path (interpreter/BlockActions.cpp).
  static Resume blockAction(ScriptEngine& e, ActionContext& ctx, uint8_t code0, const ScriptValue* a,
                            const uint8_t* code, size_t length, const uint8_t* payload, size_t payloadLength,
                            Resume resume);
  // The legacy string actions, a family of the general path
  // (interpreter/StringActions.cpp).
  [[gnu::noinline, gnu::cold]] static void stringAction(ScriptEngine& e, const ActionContext& ctx, uint8_t code0,
                                                        const ScriptValue* a, bool& flag, double& num,
                                                        ScriptValue& result);
  // The variable actions, literals and enumeration, another
  // (interpreter/VariableActions.cpp).
  static void variableAction(ScriptEngine& e, ActionContext& ctx, uint8_t code0, const ScriptValue* a, bool& flag,
                             ScriptValue& result);
  // The timeline, clip and host actions, another (interpreter/TimelineActions.cpp).
  [[gnu::noinline, gnu::cold]] static void clipAction(ScriptEngine& e, ActionContext& ctx, uint8_t code0,
                                                      const ScriptValue* a, ActionReader& r, double& num,
                                                      ScriptValue& result);
};

}  // namespace kivra
