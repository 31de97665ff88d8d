// qvx-build: compiles movie source text into a movie file.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tools/qvxs/Compiler.h"

int main(int argc, char** argv) {
  const bool imagesGiven = argc == 6 && std::string(argv[4]) == "--images";
  if ((argc != 4 && !imagesGiven) || std::string(argv[2]) != "-o") {
    std::cerr << "usage: qvx-build SOURCE.qvxs -o MOVIE.qvx [--images DIR]\n";
    return 2;
  }
  const std::string source = argv[1];
  std::ifstream in(source, std::ios::binary);
  if (!in) {
    std::cerr << source << ": cannot read the file\n";
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();
  kivra::qvxs::Diagnostics diag(source);
  std::vector<uint8_t> movie;
  // Image files are named relative to the source's folder, or to the one
  // given (for sources written elsewhere, such as expanded test movies).
  const size_t slash = source.rfind('/');
  const std::string baseDir = imagesGiven ? argv[5]
                              : slash == std::string::npos ? ""
                                                           : source.substr(0, slash == 0 ? 1 : slash);
  if (!kivra::qvxs::compileMovie(text.str(), movie, diag, baseDir)) {
    std::cerr << diag.text();
    return 1;
  }
  std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(movie.data()), static_cast<std::streamsize>(movie.size()));
  if (!out) {
    std::cerr << argv[3] << ": cannot write the movie\n";
    return 1;
  }
  return 0;
}
