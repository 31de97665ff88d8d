#pragma once
// Every native class, by the number the class library binds it with
// (ZqSetNative, Zqnative, Zqconstructor). One list: this enum, and the
// registration list in NativeClasses.cpp that installs each class's table.
// Classes whose routines do not exist yet have an empty table: functions of
// theirs can be made and answer undefined.
#include <cstdint>
#include <span>

namespace kivra {

class ScriptEngine;
struct NativeClass;

enum NativeClassNumber : uint16_t {
  kNativeSetPropFlags = 1,        // ZqSetPropFlags
  kNativeBootstrap = 2,           // Zqnative, Zqconstructor
  kNativeUnnamed3 = 3,            // in the list, bound by no name
  kNativeSetNative = 4,           // ZqSetNative
  kNativeMouse = 5,               // Mouse.show, Mouse.hide
  kNativeUpdateAfterEvent = 9,    // updateAfterEvent
  kNativeCapabilities = 11,       // fills System.capabilities
  kNativeAllowDomain = 12,        // System.security.allowDomain
  kNativeGlobal = 100,            // escape, unescape, parseInt, parseFloat, trace
  kNativeObject = 101,            // Object and Function methods
  kNativeUnnamed102 = 102,        // in the list, bound by no name
  kNativeDate = 103,              // Date
  kNativeTextField = 104,         // TextField
  kNativeButton = 105,            // Button
  kNativeNumber = 106,            // Number
  kNativeBoolean = 107,           // Boolean
  kNativeTextFormat = 110,        // TextFormat
  kNativeMath = 200,              // Math, isNaN, isFinite
  kNativeTimer = 250,             // setInterval, clearInterval
  kNativeString = 251,            // String
  kNativeArray = 252,             // Array
  kNativeXml = 253,               // XMLNode and XML
  kNativeLoading = 301,           // LoadVars and XML loading
  kNativeXmlSocket = 400,         // XMLSocket
  kNativeSound = 500,             // Sound
  kNativeSelection = 600,         // Selection
  kNativeStage = 666,             // Stage
  kNativeVideo = 667,             // Video
  kNativeColor = 700,             // Color
  kNativeKey = 800,               // Key
  kNativeMovieClip = 900,         // MovieClip
  kNativeMovieClipDrawing = 901,  // createEmptyMovieClip and the drawing methods
  kNativeAccessibility = 1999,    // Accessibility
  kNativeNetConnection = 2100,    // NetConnection
  kNativeNetStream = 2101,        // NetStream
  kNativeCamera = 2102,           // Camera
  kNativeMicrophone = 2104,       // Microphone
  kNativeSharedObject = 2106,     // SharedObject
  kNativeSettings = 2107,         // System.showSettings
  kNativeLocalConnection = 2200,  // LocalConnection
  kNativeProduct = 2201,          // Product
};

// The tables, one per class, each defined in the file of its class.
extern const NativeClass kSetPropFlagsNatives;
extern const NativeClass kBootstrapNatives;
extern const NativeClass kSetNativeNatives;
extern const NativeClass kObjectNatives;
extern const NativeClass kGlobalNatives;
extern const NativeClass kUpdateAfterEventNatives;
extern const NativeClass kCapabilitiesNatives;
extern const NativeClass kTimerNatives;
extern const NativeClass kDateNatives;
extern const NativeClass kNumberNatives;
extern const NativeClass kBooleanNatives;
extern const NativeClass kMathNatives;
extern const NativeClass kStringNatives;
extern const NativeClass kArrayNatives;
extern const NativeClass kButtonNatives;
extern const NativeClass kTextFieldNatives;
extern const NativeClass kTextFormatNatives;
extern const NativeClass kSelectionNatives;
extern const NativeClass kStageNatives;
extern const NativeClass kColorNatives;
extern const NativeClass kSoundNatives;
extern const NativeClass kXmlSocketNatives;
extern const NativeClass kKeyNatives;
extern const NativeClass kMouseNatives;
extern const NativeClass kMovieClipNatives;
extern const NativeClass kMovieClipDrawingNatives;
extern const NativeClass kXmlNatives;
extern const NativeClass kLoadingNatives;
extern const NativeClass kNetConnectionNatives;
extern const NativeClass kSharedObjectNatives;
extern const NativeClass kLocalConnectionNatives;
extern const NativeClass kSettingsNatives;
extern const NativeClass kCameraNatives;
extern const NativeClass kMicrophoneNatives;

// Every native class, each once.
std::span<const NativeClass* const> nativeClasses();

// Registers every class's table with the engine.
void installNativeClasses(ScriptEngine& engine);

}  // namespace kivra
