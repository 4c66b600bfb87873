// modcompose SCORE OUTPUT: writes the module described by a text score.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "protracker.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: modcompose SCORE OUTPUT\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "modcompose: cannot read " << argv[1] << "\n";
    return 1;
  }
  std::string score((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<uint8_t> module;
  try {
    module = modcompose::compose(score);
  } catch (const modcompose::ScoreError& e) {
    std::cerr << argv[1] << ":" << e.line() << ": " << e.message() << "\n";
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(module.data()), static_cast<std::streamsize>(module.size()));
  out.close();
  if (!out) {
    std::cerr << "modcompose: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
