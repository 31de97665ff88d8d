// The table of native classes the class library binds: the dispatchers of
// this part of the engine, and placeholders for the classes whose routines
// live elsewhere in the player (they answer undefined until their own
// dispatcher is registered, which replaces the placeholder).
#include "core/script/ClassLibrary.h"
#include "core/script/ScriptEngine.h"

namespace kivra {

void globalNatives(NativeCall& c);           // 100
void updateAfterEventNative(NativeCall& c);  // 9
void timerNatives(NativeCall& c);            // 250
void capabilitiesNative(NativeCall& c);      // 11
void movieClipNatives(NativeCall& c);        // 900
void movieClipDrawingNatives(NativeCall& c); // 901
void colorNatives(NativeCall& c);            // 700
void stageNatives(NativeCall& c);            // 666
void keyNatives(NativeCall& c);              // 800
void mouseNatives(NativeCall& c);            // 5
void selectionNatives(NativeCall& c);        // 600
void buttonNatives(NativeCall& c);           // 105

namespace {

void placeholderNative(NativeCall& c) { (void)c; }

struct NativeClassEntry {
  uint16_t number;
  NativeDispatcher dispatcher;
};

constexpr NativeClassEntry kLibraryClasses[] = {
    {100, globalNatives},     {9, updateAfterEventNative}, {250, timerNatives},  {11, capabilitiesNative},
    {900, movieClipNatives},  {901, movieClipDrawingNatives}, {700, colorNatives}, {666, stageNatives},
    {800, keyNatives},        {5, mouseNatives},             {600, selectionNatives}, {105, buttonNatives},
};

// Bound by the library, implemented elsewhere: Math (200), Number (106),
// Boolean (107), Date (103), String (251), Array (252), Sound (500),
// TextField (104), TextFormat (110), XML (253), loading (301), XMLSocket
// (400), Video (667), Accessibility (1999), the connection and capture
// classes (2100-2107, 2200, 2201) and allowDomain (12); 3 and 102 are in the
// table without a name in the library.
constexpr uint16_t kPlaceholderClasses[] = {200,  106,  107,  103,  251,  252,  500,  104,  110,  253,  301,
                                            400,  667,  1999, 2100, 2101, 2102, 2104, 2106, 2107, 2200, 2201,
                                            12,   3,    102};

}  // namespace

void installLibraryNatives(ScriptEngine& e) {
  for (const NativeClassEntry& n : kLibraryClasses) e.registerNativeClass(n.number, n.dispatcher);
  for (uint16_t number : kPlaceholderClasses)
    if (!e.hasNativeClass(number)) e.registerNativeClass(number, placeholderNative);
}

}  // namespace kivra
