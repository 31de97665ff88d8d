// The registration list: every native class the library binds, each with
// its table. Classes whose routines do not exist yet are listed with an
// empty table, so that the library can still make their functions.
#include "core/script/natives/NativeClasses.h"

#include "core/script/natives/NativeTable.h"

namespace kivra {

namespace {

constexpr NativeClass kUnnamed3Natives{kNativeUnnamed3, "unnamed 3", {}};
constexpr NativeClass kAllowDomainNatives{kNativeAllowDomain, "allowDomain", {}};
constexpr NativeClass kUnnamed102Natives{kNativeUnnamed102, "unnamed 102", {}};
constexpr NativeClass kVideoNatives{kNativeVideo, "Video", {}};
constexpr NativeClass kAccessibilityNatives{kNativeAccessibility, "Accessibility", {}};
constexpr NativeClass kNetStreamNatives{kNativeNetStream, "NetStream", {}};
constexpr NativeClass kProductNatives{kNativeProduct, "Product", {}};

constexpr const NativeClass* kNativeClasses[] = {
    &kSetPropFlagsNatives,    &kBootstrapNatives,      &kUnnamed3Natives,       &kSetNativeNatives,
    &kMouseNatives,           &kUpdateAfterEventNatives, &kCapabilitiesNatives, &kAllowDomainNatives,
    &kGlobalNatives,          &kObjectNatives,         &kUnnamed102Natives,     &kDateNatives,
    &kTextFieldNatives,       &kButtonNatives,         &kNumberNatives,         &kBooleanNatives,
    &kTextFormatNatives,      &kMathNatives,           &kTimerNatives,          &kStringNatives,
    &kArrayNatives,           &kXmlNatives,            &kLoadingNatives,        &kXmlSocketNatives,
    &kSoundNatives,           &kSelectionNatives,      &kStageNatives,          &kVideoNatives,
    &kColorNatives,           &kKeyNatives,            &kMovieClipNatives,      &kMovieClipDrawingNatives,
    &kAccessibilityNatives,   &kNetConnectionNatives,  &kNetStreamNatives,      &kCameraNatives,
    &kMicrophoneNatives,      &kSharedObjectNatives,   &kSettingsNatives,       &kLocalConnectionNatives,
    &kProductNatives,
};

}  // namespace

std::span<const NativeClass* const> nativeClasses() { return kNativeClasses; }

void installNativeClasses(ScriptEngine& engine) {
  for (const NativeClass* c : kNativeClasses) engine.registerNativeClass(*c);
}

}  // namespace kivra
