#include "common/input_file.h"

#include <filesystem>
#include <system_error>

namespace h8 {

const char* inputFileProblem(const char* path) {
  std::error_code ec;
  std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status) || std::filesystem::is_regular_file(status)) {
    return nullptr;
  }
  if (std::filesystem::is_directory(status)) return "it is a directory";
  return "not a regular file";
}

}  // namespace h8
