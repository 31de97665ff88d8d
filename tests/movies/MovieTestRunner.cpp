// Runs one end-to-end movie test: builds SOURCE.qvxs with qvx-build, plays it
// in the headless player and compares what the player printed with
// SOURCE.expected and, when SOURCE.png exists, the last frame with that
// picture within a per-channel tolerance.
//
// When SOURCE.input exists, the player replays it (--input); when
// SOURCE.stderr exists, what the player wrote to stderr must equal it.
// Comment lines in the source steer the run:
//   # run: --frames 3 --trace     player options (default: --frames 0 --trace)
//   # tolerance: 2                largest per-channel difference allowed
//   # images: DIR                 where image files are (default: beside the test)
//   # exit: 0                     expected exit status of the player
//   # env: TZ=UTC0                environment settings of the player run
//   # include: FILE               replaced by FILE's text (relative to the source)
//   # memory: MB                  the player's peak resident memory may not pass MB
//                                 (times --memory-scale, for sanitizer builds)
// With --update the expected files are rewritten from the actual results.
// With --audit the run adds --audit-repaint and only its exit status counts:
// every repaint of the dirty area must equal a full redraw.
// With --no-fast-paths the player runs every script action the general way
// and must give the same results.
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/PngImage.h"

namespace {

std::string readFile(const std::string& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  ok = static_cast<bool>(in);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string shellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a shell command; returns its exit status, or -1.
int run(const std::string& command) {
  const int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string directive(const std::string& source, const std::string& key, const std::string& fallback) {
  for (const std::string& line : splitLines(source)) {
    const std::string prefix = "# " + key + ":";
    if (line.rfind(prefix, 0) == 0) {
      std::string v = line.substr(prefix.size());
      const size_t first = v.find_first_not_of(' ');
      return first == std::string::npos ? "" : v.substr(first);
    }
  }
  return fallback;
}

// The source with every "# include: FILE" line replaced by that file's text.
bool expandIncludes(const std::string& source, const std::string& text, std::string& out) {
  const std::string dir = source.substr(0, source.find_last_of('/') + 1);
  const std::string prefix = "# include:";
  for (const std::string& line : splitLines(text)) {
    if (line.rfind(prefix, 0) != 0) {
      out += line + "\n";
      continue;
    }
    std::string name = line.substr(prefix.size());
    name.erase(0, name.find_first_not_of(' '));
    bool ok;
    out += readFile(dir + name, ok);
    if (!ok) {
      std::cerr << source << ": cannot read included " << dir + name << "\n";
      return false;
    }
  }
  return true;
}

// "A=1 B=2" as shell words for env(1).
std::string environmentPrefix(const std::string& settings) {
  std::string out, word;
  std::istringstream in(settings);
  while (in >> word) out += shellQuote(word) + " ";
  return out.empty() ? out : "env " + out;
}

bool compareText(const std::string& expectedPath, const std::string& actual) {
  bool ok;
  const std::string expected = readFile(expectedPath, ok);
  if (!ok) {
    std::cerr << expectedPath << ": missing (run with --update to create it)\n";
    return false;
  }
  const std::vector<std::string> e = splitLines(expected), a = splitLines(actual);
  for (size_t i = 0; i < std::max(e.size(), a.size()); ++i) {
    const std::string* el = i < e.size() ? &e[i] : nullptr;
    const std::string* al = i < a.size() ? &a[i] : nullptr;
    if (el && al && *el == *al) continue;
    std::cerr << expectedPath << ":" << i + 1 << ": output differs\n"
              << "  expected: " << (el ? *el : "<end of output>") << "\n"
              << "  actual:   " << (al ? *al : "<end of output>") << "\n"
              << "--- actual output ---\n"
              << actual << "---------------------\n";
    return false;
  }
  return true;
}

bool compareImages(const std::string& expectedPath, const std::string& actualPath, int tolerance) {
  kivra::PngImage expected, actual;
  if (!kivra::readPng(expectedPath, expected)) {
    std::cerr << expectedPath << ": cannot read the reference picture\n";
    return false;
  }
  if (!kivra::readPng(actualPath, actual)) {
    std::cerr << actualPath << ": the player wrote no readable screenshot\n";
    return false;
  }
  if (expected.width != actual.width || expected.height != actual.height) {
    std::cerr << "screenshot is " << actual.width << "x" << actual.height << ", reference " << expected.width << "x"
              << expected.height << "\n";
    return false;
  }
  size_t bad = 0;
  size_t first = 0;
  int worst = 0;
  for (size_t i = 0; i < expected.rgb.size(); ++i) {
    const int d = std::abs(int(expected.rgb[i]) - int(actual.rgb[i]));
    if (d > tolerance) {
      if (!bad) first = i / 3;
      ++bad;
    }
    worst = std::max(worst, d);
  }
  if (!bad) return true;
  const size_t x = first % static_cast<size_t>(expected.width), y = first / static_cast<size_t>(expected.width);
  std::cerr << "screenshot differs from " << expectedPath << " in " << bad << " channel values (tolerance "
            << tolerance << ", worst " << worst << "); first at pixel " << x << "," << y << ": expected "
            << int(expected.rgb[first * 3]) << "," << int(expected.rgb[first * 3 + 1]) << ","
            << int(expected.rgb[first * 3 + 2]) << " got " << int(actual.rgb[first * 3]) << ","
            << int(actual.rgb[first * 3 + 1]) << "," << int(actual.rgb[first * 3 + 2]) << "\n"
            << "actual screenshot: " << actualPath << "\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::string build, player, source, work;
  bool update = false;
  bool audit = false;
  bool noFastPaths = false;
  int memoryScale = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&](std::string& dst) {
      if (i + 1 < argc) dst = argv[++i];
    };
    if (a == "--build") next(build);
    else if (a == "--player") next(player);
    else if (a == "--source") next(source);
    else if (a == "--work") next(work);
    else if (a == "--update") update = true;
    else if (a == "--audit") audit = true;
    else if (a == "--no-fast-paths") noFastPaths = true;
    else if (a == "--memory-scale" && i + 1 < argc) memoryScale = std::max(1, std::atoi(argv[++i]));
  }
  if (build.empty() || player.empty() || source.empty() || work.empty()) {
    std::cerr << "usage: movie_test_runner --build QVX-BUILD --player KIVRA-PLAYER --source TEST.qvxs --work DIR "
                 "[--update | --audit] [--no-fast-paths]\n";
    return 2;
  }
  bool ok;
  const std::string text = readFile(source, ok);
  if (!ok) {
    std::cerr << source << ": cannot read\n";
    return 1;
  }
  const std::string stem = source.substr(0, source.size() - (source.size() > 5 ? 5 : 0));  // drop ".qvxs"
  const std::string name = stem.substr(stem.find_last_of('/') + 1);
  run("mkdir -p " + shellQuote(work));
  const std::string movie = work + "/" + name + ".qvx";
  const std::string output = work + "/" + name + ".out";
  const std::string shot = work + "/" + name + ".png";
  std::string buildSource = source;
  if (text.find("\n# include:") != std::string::npos) {
    std::string expanded;
    if (!expandIncludes(source, text, expanded)) return 1;
    buildSource = work + "/" + name + ".qvxs";
    std::ofstream(buildSource, std::ios::binary) << expanded;
  }
  // Image files are named relative to the test's folder, or to the folder
  // an "# images:" line names (relative to the test's).
  std::string sourceDir = source.find('/') == std::string::npos ? "." : source.substr(0, source.find_last_of('/'));
  const std::string imageDir = directive(text, "images", "");
  if (!imageDir.empty()) sourceDir += "/" + imageDir;
  if (run(shellQuote(build) + " " + shellQuote(buildSource) + " -o " + shellQuote(movie) + " --images " +
          shellQuote(sourceDir)) != 0) {
    std::cerr << source << ": qvx-build failed\n";
    return 1;
  }
  std::string options = directive(text, "run", "--frames 0 --trace");
  if (noFastPaths) {
    // The expected results are the fast paths': this run only checks them.
    options += " --no-fast-paths";
    update = false;
  }
  if (audit) {
    // --info plays nothing: there is no repaint to check.
    if (options.find("--info") != std::string::npos) return 0;
    options += " --audit-repaint";
    update = false;
  }
  const std::string reference = stem + ".png";
  std::ifstream hasReference(reference);
  std::remove(shot.c_str());
  std::string command = environmentPrefix(directive(text, "env", "")) + shellQuote(player) + " --headless " + options;
  // Shared objects go to a folder of the run's own, emptied first: never
  // the user's, and every run starts from nothing.
  const std::string data = work + "/" + name + ".data";
  std::error_code removed;
  std::filesystem::remove_all(data, removed);
  command = "XDG_DATA_HOME=" + shellQuote(data) + " " + command;
  if ((hasReference || update) && !audit) command += " --screenshot " + shellQuote(shot);
  const std::string input = stem + ".input";
  if (std::ifstream(input)) command += " --input " + shellQuote(input);
  const std::string errors = work + "/" + name + ".err";
  command += " " + shellQuote(movie) + " > " + shellQuote(output);
  if (!audit) command += " 2> " + shellQuote(errors);
  const int status = run(command);
  // Of all the children waited for, the largest: the player, as the build
  // runs in far less.
  struct rusage usage {};
  getrusage(RUSAGE_CHILDREN, &usage);
  const long peakMb = usage.ru_maxrss / 1024;
  const int expectedStatus = std::atoi(directive(text, "exit", "0").c_str());
  const std::string actual = readFile(output, ok);
  const std::string actualErrors = audit ? std::string() : readFile(errors, ok);
  const bool checkErrors = static_cast<bool>(std::ifstream(stem + ".stderr"));
  if (update) {
    std::ofstream(stem + ".expected", std::ios::binary) << actual;
    if (checkErrors) std::ofstream(stem + ".stderr", std::ios::binary) << actualErrors;
    if (hasReference) run("cp " + shellQuote(shot) + " " + shellQuote(reference));
    std::cout << "updated " << stem << ".expected\n";
    return 0;
  }
  if (audit) {
    if (status == expectedStatus) return 0;
    std::cerr << "the player exited with " << status << ", expected " << expectedStatus << "\n  " << command << "\n";
    return 1;
  }
  bool passed = true;
  if (status != expectedStatus) {
    std::cerr << "the player exited with " << status << ", expected " << expectedStatus << "\n  " << command << "\n";
    passed = false;
  }
  passed = compareText(stem + ".expected", actual) && passed;
  if (checkErrors) passed = compareText(stem + ".stderr", actualErrors) && passed;
  const std::string memory = directive(text, "memory", "");
  if (!memory.empty() && peakMb > std::atol(memory.c_str()) * memoryScale) {
    std::cerr << "the player's peak memory was " << peakMb << " MB, more than " << memory << " MB";
    if (memoryScale > 1) std::cerr << " x " << memoryScale;
    std::cerr << "\n";
    passed = false;
  }
  else std::cerr << actualErrors;
  if (hasReference) passed = compareImages(reference, shot, std::atoi(directive(text, "tolerance", "2").c_str())) && passed;
  return passed ? 0 : 1;
}
