// Local shared objects across runs of the headless player: run 1 stores
// values of every kind (flushed, or written when the player exits), run 2
// reads them back; what lands on disk is where it should be and nothing is
// left outside the data folder. XDG_DATA_HOME points at a temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tools/qvxs/Compiler.h"

namespace kivra {
namespace {

// Stores everything on the first run (no `count` yet), traces it on the
// next. "later" is never flushed: the player writes it when it exits.
// "big" is over the site's 100 KB: its flush asks the user, nobody answers,
// and nothing is written.
constexpr const char* kMovie = R"(movie version=6 rate=12
actions {
  DefineFunction "Point" {
  }
  Push "Point"
  GetVariable
  Push "Point" 2 "Object"
  GetVariable
  Push "registerClass"
  CallMethod
  Pop
  Push "so" "game" 1 "SharedObject"
  GetVariable
  Push "getLocal"
  CallMethod
  SetVariable
  Push "d" "so"
  GetVariable
  Push "data"
  GetMember
  SetVariable
  Push "later" "later" 1 "SharedObject"
  GetVariable
  Push "getLocal"
  CallMethod
  SetVariable
  Push "big" "big" 1 "SharedObject"
  GetVariable
  Push "getLocal"
  CallMethod
  SetVariable
  Push "d"
  GetVariable
  Push "count"
  GetMember
  Push undefined
  Equals2
  If write
  Push "count " "d"
  GetVariable
  Push "count"
  GetMember
  Add2
  Trace
  Push "name " "d"
  GetVariable
  Push "name"
  GetMember
  Add2
  Trace
  Push "deep " "d"
  GetVariable
  Push "nested"
  GetMember
  Push "inner"
  GetMember
  Push "deep"
  GetMember
  Add2
  Trace
  Push "list " 0 "d"
  GetVariable
  Push "list"
  GetMember
  Push "join"
  CallMethod
  Add2
  Push " " 
  Add2
  Push "d"
  GetVariable
  Push "list"
  GetMember
  Push "length"
  GetMember
  Add2
  Push " "
  Add2
  Push "d"
  GetVariable
  Push "list"
  GetMember
  Push "tag"
  GetMember
  Add2
  Trace
  Push "when " 0 "d"
  GetVariable
  Push "when"
  GetMember
  Push "getTime"
  CallMethod
  Add2
  Trace
  Push "same object " "d"
  GetVariable
  Push "a"
  GetMember
  Push "d"
  GetVariable
  Push "b"
  GetMember
  StrictEquals
  Add2
  Trace
  Push "self " "d"
  GetVariable
  Push "self"
  GetMember
  Push "d"
  GetVariable
  StrictEquals
  Add2
  Trace
  Push "point " "d"
  GetVariable
  Push "pt"
  GetMember
  Push "Point"
  GetVariable
  InstanceOf
  Add2
  Push " "
  Add2
  Push "d"
  GetVariable
  Push "pt"
  GetMember
  Push "x"
  GetMember
  Add2
  Trace
  Push "fn " "d"
  GetVariable
  Push "fn"
  GetMember
  TypeOf
  Add2
  Trace
  Push "flag " "d"
  GetVariable
  Push "flag"
  GetMember
  Add2
  Push " " "d"
  GetVariable
  Push "nothing"
  GetMember
  Add2
  Add2
  Trace
  Push "later " "later"
  GetVariable
  Push "data"
  GetMember
  Push "v"
  GetMember
  Add2
  Trace
  Push "big " "big"
  GetVariable
  Push "data"
  GetMember
  Push "s"
  GetMember
  TypeOf
  Add2
  Trace
  Push "size " 0 "so"
  GetVariable
  Push "getSize"
  CallMethod
  Add2
  Trace
  Push "again " "game" 1 "SharedObject"
  GetVariable
  Push "getLocal"
  CallMethod
  Push "so"
  GetVariable
  StrictEquals
  Add2
  Trace
  Jump done
write:
  Push "d"
  GetVariable
  Push "count" 3.5
  SetMember
  Push "d"
  GetVariable
  Push "name" "K\xC3\xA9vra"
  SetMember
  Push "d"
  GetVariable
  Push "nested" "inner" "deep" "down here" 1
  InitObject
  Push 1
  InitObject
  SetMember
  Push "d"
  GetVariable
  Push "list" true "two" 1 3
  InitArray
  SetMember
  Push "d"
  GetVariable
  Push "list"
  GetMember
  Push "tag" "named"
  SetMember
  Push "d"
  GetVariable
  Push "when" 1234567890123.0 1 "Date"
  NewObject
  SetMember
  Push "shared" "v" 1 1
  InitObject
  SetVariable
  Push "d"
  GetVariable
  Push "a" "shared"
  GetVariable
  SetMember
  Push "d"
  GetVariable
  Push "b" "shared"
  GetVariable
  SetMember
  Push "d"
  GetVariable
  Push "self" "d"
  GetVariable
  SetMember
  Push "d"
  GetVariable
  Push "pt" 0 "Point"
  NewObject
  SetMember
  Push "d"
  GetVariable
  Push "pt"
  GetMember
  Push "x" 7
  SetMember
  Push "d"
  GetVariable
  Push "fn"
  DefineFunction "" {
  }
  SetMember
  Push "d"
  GetVariable
  Push "flag" false
  SetMember
  Push "d"
  GetVariable
  Push "nothing" null
  SetMember
  Push "flush " 0 "so"
  GetVariable
  Push "flush"
  CallMethod
  Add2
  Trace
  Push "later"
  GetVariable
  Push "data"
  GetMember
  Push "v" "written at exit"
  SetMember
  Push "s" "x"
  SetVariable
  Push "i" 0
  SetVariable
grow:
  Push "s" "s"
  GetVariable
  Push "s"
  GetVariable
  Add2
  SetVariable
  Push "i" "i"
  GetVariable
  Increment
  SetVariable
  Push "i"
  GetVariable
  Push 17
  Less2
  If grow
  Push "big"
  GetVariable
  Push "data"
  GetMember
  Push "s" "s"
  GetVariable
  SetMember
  Push "big flush " 0 "big"
  GetVariable
  Push "flush"
  CallMethod
  Add2
  Trace
done:
}
showframe
)";

// The hand-worked object "hi" (stored at the top of the site by its local
// path "/"), names that are refused, a name with a folder, a 300-character
// name, an object that empties and so loses its file, and a foreign file
// that loads as an empty object and is left alone.
constexpr const char* kNamesMovie = R"(movie version=6 rate=12
actions {
  Push "SharedObject"
  GetVariable
  Push "prototype"
  GetMember
  Push "onStatus"
  DefineFunction2 "" regs=2 r1:"info" {
    Push "status " r:1
    Push "code"
    GetMember
    Add2
    Push " "
    Add2
    Push r:1
    Push "level"
    GetMember
    Add2
    Push " "
    Add2
    Push r:1
    Push "description"
    GetMember
    Add2
    Trace
  }
  SetMember
  DefineFunction2 "open" regs=3 r1:"name" {
    Push r:1 1 "SharedObject"
    GetVariable
    Push "getLocal"
    CallMethod
    StoreRegister 2
    Pop
    Push r:1 " " 
    Add2
    Push r:2
    Push null
    Equals2
    Not
    Add2
    Trace
    Push r:2
    Return
  }
  Push "/" "hi" 2 "SharedObject"
  GetVariable
  Push "getLocal"
  CallMethod
  StoreRegister 1
  Push "data"
  GetMember
  StoreRegister 2
  Pop
  Push r:2 "n" 1
  SetMember
  Push r:2 "s" "ab"
  SetMember
  Push r:2 "o" "x" null 1
  InitObject
  SetMember
  Push r:2 "r" r:2
  Push "o"
  GetMember
  SetMember
  Push r:2 "a" true 1
  InitArray
  SetMember
  Push "hi " 0 r:1
  Push "flush"
  CallMethod
  Add2
  Push " " 
  Add2
  Push 0 r:1
  Push "getSize"
  CallMethod
  Add2
  Trace
  Push "a b" 1 "open"
  CallFunction
  Pop
  Push "a#b" 1 "open"
  CallFunction
  Pop
  Push "a:b" 1 "open"
  CallFunction
  Pop
  Push "a//b" 1 "open"
  CallFunction
  Pop
  Push "../up" 1 "open"
  CallFunction
  Pop
  Push "x/../../up" 1 "open"
  CallFunction
  Pop
  Push "" 1 "open"
  CallFunction
  Pop
  Push "folder/file" 1 "open"
  CallFunction
  Push "data"
  GetMember
  Push "v" 1
  SetMember
  Push "long" ""
  SetVariable
  Push "i" 0
  SetVariable
grow:
  Push "long" "long"
  GetVariable
  Push "nnnnnnnnnn"
  Add2
  SetVariable
  Push "i" "i"
  GetVariable
  Increment
  SetVariable
  Push "i"
  GetVariable
  Push 30
  Less2
  If grow
  Push "long"
  GetVariable
  Push 1 "open"
  CallFunction
  Push "data"
  GetMember
  Push "v" 2
  SetMember
  Push "gone" 1 "open"
  CallFunction
  StoreRegister 1
  Push "data"
  GetMember
  Push "v" 1
  SetMember
  Push 0 r:1
  Push "flush"
  CallMethod
  Pop
  Push r:1
  Push "data"
  GetMember
  Push "v"
  Delete
  Pop
  Push "gone flush " 0 r:1
  Push "flush"
  CallMethod
  Add2
  Push " "
  Add2
  Push 0 r:1
  Push "getSize"
  CallMethod
  Add2
  Trace
  Push "foreign" 1 "open"
  CallFunction
  StoreRegister 1
  Push "data"
  GetMember
  Push "kept"
  GetMember
  Push "foreign flush "
  StackSwap
  Add2
  Push " "
  Add2
  Push 0 r:1
  Push "flush"
  CallMethod
  Add2
  Trace
}
showframe
)";

class SharedObjectRuns : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(dir.file("movies")); }

  std::string run(const char* source = kMovie) {
    std::vector<uint8_t> movie;
    qvxs::Diagnostics diag;
    EXPECT_TRUE(qvxs::compileMovie(source, movie, diag, dir.file(""))) << diag.text();
    dir.write("movies/m.qvx", movie);
    const std::string command = "XDG_DATA_HOME='" + dir.file("data") + "' TZ=UTC0 " + KIVRA_PLAYER_PATH +
                                " --headless --frames 0 --trace '" + dir.file("movies/m.qvx") + "' > '" +
                                dir.file("out.txt") + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    const std::vector<uint8_t> out = test::TempDir::read(dir.file("out.txt"));
    return std::string(out.begin(), out.end());
  }

  // The folder of the movie's objects: localhost, then the movie's path.
  std::string objects() const {
    return dir.file("data") + "/kivra-player/localhost" + dir.file("movies/m.qvx");
  }

  test::TempDir dir;
};

TEST_F(SharedObjectRuns, EveryKindOfValueComesBackOnTheNextRun) {
  EXPECT_EQ(run(), "flush true\nbig flush pending\n");
  EXPECT_TRUE(std::filesystem::exists(objects() + "/game.sol"));
  EXPECT_TRUE(std::filesystem::exists(objects() + "/later.sol"));
  EXPECT_FALSE(std::filesystem::exists(objects() + "/big.sol"));
  const std::string second = run();
  EXPECT_EQ(second,
            "count 3.5\n"
            "name K\xC3\xA9vra\n"
            "deep down here\n"
            "list 1,two,true 3 named\n"
            "when 1234567890123\n"
            "same object true\n"
            "self true\n"
            "point true 7\n"
            "fn undefined\n"
            "flag false null\n"
            "later written at exit\n"
            "big undefined\n"
            "size " + std::to_string(std::filesystem::file_size(objects() + "/game.sol")) + "\n" +
            "again true\n");
  // Nothing else was written anywhere: only the two files and the privacy
  // settings (the player's and the site's), no leftovers.
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.file("data")))
    if (e.is_regular_file()) files.push_back(e.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"game.sol", "later.sol", "settings.sol", "settings.sol"}));
}

TEST_F(SharedObjectRuns, FileBytesNamesAndFilesThatGoOrStay) {
  // A file of another object's name: read as nothing, never deleted.
  const std::vector<uint8_t> foreign = {0x00, 0xBF, 0, 0, 0, 0x1E, 'T', 'C', 'S', 'O', 0, 4, 0, 0, 0, 0, 0, 5,
                                        'o', 't', 'h', 'e', 'r', 0, 0, 0, 0, 0, 4, 'k', 'e', 'p', 't', 1, 1, 0};
  std::filesystem::create_directories(objects());
  dir.write("data/kivra-player/localhost" + dir.file("movies/m.qvx") + "/foreign.sol", foreign);
  EXPECT_EQ(run(kNamesMovie),
            "hi true 82\n"
            "status SharedObject.Failed error Could not create shared object.\na b false\n"
            "status SharedObject.Failed error Could not create shared object.\na#b false\n"
            "status SharedObject.Failed error Could not create shared object.\na:b false\n"
            "status SharedObject.Failed error Could not create shared object.\na//b false\n"
            "status SharedObject.Failed error Could not create shared object.\n../up false\n"
            "status SharedObject.Failed error Could not create shared object.\nx/../../up false\n"
            "status SharedObject.Failed error Could not create shared object.\n false\n"
            "folder/file true\n" +
                std::string(300, 'n') + " true\n" +
                "gone true\n"
                "gone flush true 0\n"
                "foreign true\n"
                "foreign flush  true\n");  // nothing was read from it
  // The hand-worked bytes (the same as the file format test's).
  const std::vector<uint8_t> handWorked = {
      0x00, 0xBF, 0x00, 0x00, 0x00, 0x4C, 'T', 'C', 'S', 'O', 0x00, 0x04, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x02, 'h', 'i', 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 'n', 0x00, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0x00,
      0x00, 0x01, 's', 0x02, 0x00, 0x02, 'a', 'b', 0x00, 0x00, 0x01, 'o', 0x03, 0x00, 0x01, 'x', 0x05,
      0x00, 0x00, 0x09, 0x00, 0x00, 0x01, 'r', 0x07, 0x00, 0x01, 0x00, 0x00, 0x01, 'a', 0x08, 0x00,
      0x00, 0x00, 0x01, 0x00, 0x01, '0', 0x01, 0x01, 0x00, 0x00, 0x09, 0x00};
  EXPECT_EQ(test::TempDir::read(dir.file("data/kivra-player/localhost/hi.sol")), handWorked);
  EXPECT_TRUE(std::filesystem::exists(objects() + "/#folder/file.sol"));
  EXPECT_FALSE(std::filesystem::exists(objects() + "/gone.sol"));
  EXPECT_EQ(test::TempDir::read(objects() + "/foreign.sol"), foreign);
  // The long name went to the hashed folder, as file 0 holding its path.
  std::vector<std::string> hashed;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.file("data/kivra-player/localhost")))
    if (e.is_regular_file() && e.path().parent_path().filename().string().rfind("##", 0) == 0)
      hashed.push_back(e.path().filename().string());
  EXPECT_EQ(hashed, std::vector<std::string>{"0.sol"});
  // Nothing anywhere else: the data folder holds all there is.
  size_t files = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.file("")))
    if (e.is_regular_file()) ++files;
  // movie, output; hi, folder/file, long, foreign (and nothing for "gone");
  // the player's and the site's privacy settings
  EXPECT_EQ(files, 2u + 4u + 2u);
}

}  // namespace
}  // namespace kivra
