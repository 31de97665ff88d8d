// qvx-dump: prints a movie as source text that qvx-build turns back into the
// same bytes.
#include <fstream>
#include <iostream>
#include <iterator>

#include "tools/qvxs/Dumper.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4 || (argc == 4 && std::string(argv[2]) != "-o") || argc == 3) {
    std::cerr << "usage: qvx-dump MOVIE.qvx [-o SOURCE.qvxs]\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << argv[1] << ": cannot read the file\n";
    return 1;
  }
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string text, error;
  kivra::qvxs::DumpStats stats;
  if (!kivra::qvxs::dumpMovie(file, text, error, &stats)) {
    std::cerr << argv[1] << ": " << error << "\n";
    return 1;
  }
  if (stats.rawTags) std::cerr << argv[1] << ": " << stats.rawTags << " of " << stats.tags << " tags kept as raw bytes\n";
  if (argc == 4) {
    std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
      std::cerr << argv[3] << ": cannot write\n";
      return 1;
    }
  } else {
    std::cout << text;
  }
  return 0;
}
