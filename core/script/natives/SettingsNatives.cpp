// The privacy settings (native class 2107): System.showSettings (0) and
// the settings panel's AlertResponse (1), which the player gives only to
// the panel's root; an answer from any other movie is ignored.
#include "core/movie/TimelinePlayer.h"
#include "core/script/PlayerServices.h"
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

void showSettings(NativeCall& c) {
  // Anything but a tab number 0 to 3 keeps the last tab.
  const int tab = argPresent(c, 0) && c.arg(0).isNumber() ? integerArg(c, 0) : -1;
  c.engine.player().showSettings(tab);
}

void alertResponse(NativeCall& c) {
  const DisplayObject* clip = clipOf(c.engine, c.target);
  const TimelinePlayer* timeline = nullptr;
  for (; clip && !timeline; clip = clip->parent()) timeline = clip->timeline();
  if (!timeline || !c.engine.player().settingsPanel(timeline->root())) return;
  c.engine.player().settingsPanelAnswer(argPresent(c, 0) ? c.arg(0) : ScriptValue(), c.result);
}

constexpr NativeMethod kSettingsMethods[] = {
    {0, "showSettings", showSettings},
    {1, "AlertResponse", alertResponse},
};

}  // namespace

const NativeClass kSettingsNatives{kNativeSettings, "showSettings", kSettingsMethods};

}  // namespace kivra
