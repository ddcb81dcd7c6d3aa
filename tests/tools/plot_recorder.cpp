// Stands in for Python when vantrels-track-error draws (VANTRELS_PYTHON): writes its arguments, one a
// line in UTF-8, and the first line of the data file (the second) into the picture file (the third).
#include <filesystem>
#include <fstream>
#include <string>

template <typename Char>
int Record(int argc, Char **argv) {
  if (argc < 4) return 2;
  std::ofstream out(std::filesystem::path(argv[3]), std::ios::binary);
  for (int i = 1; i < argc; ++i) {
    const std::u8string argument = std::filesystem::path(argv[i]).u8string();
    out << std::string(argument.begin(), argument.end()) << '\n';
  }
  std::string header;
  std::getline(std::ifstream(std::filesystem::path(argv[2])), header);
  out << header << '\n';
  return out ? 0 : 1;
}

#if defined(_WIN32)
int wmain(int argc, wchar_t **argv) {
  return Record(argc, argv);
}  // the arguments as given
#else
int main(int argc, char **argv) {
  return Record(argc, argv);
}
#endif
