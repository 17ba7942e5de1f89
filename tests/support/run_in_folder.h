#ifndef RUN_IN_FOLDER_H
#define RUN_IN_FOLDER_H

// Runs built programs in a fresh folder and collects what they write. Each
// run goes through the shell so that a test can set limits (ulimit) or start
// runs side by side; every run is bounded in time.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace test_support {

namespace fs = std::filesystem;

// Quotes a word for the shell.
inline std::string quote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

inline std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct Result {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// A fresh folder under the system's temporary folder, with a folder of its
// own for the runs' temporary files, so that a swap file left behind shows.
class Folder {
 public:
  explicit Folder(const std::string& prefix = "run-") {
    std::random_device seed;
    std::error_code error;
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
      const fs::path candidate = fs::temp_directory_path() / (prefix + std::to_string(seed()));
      if (fs::create_directory(candidate, error)) m_path = candidate;
    }
    fs::create_directory(m_path / "tmp", error);
  }
  ~Folder() {
    std::error_code error;
    if (!m_path.empty()) fs::remove_all(m_path, error);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  const fs::path& path() const { return m_path; }
  fs::path operator/(const std::string& name) const { return m_path / name; }
  void write(const std::string& name, const std::string& bytes) const { write_file(m_path / name, bytes); }
  std::string read(const std::string& name) const { return read_file(m_path / name); }
  bool exists(const std::string& name) const { return fs::exists(m_path / name); }

  // The names in the folder, apart from the temporary folder.
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(m_path)) {
      if (entry.path().filename() != "tmp") found.push_back(entry.path().filename().string());
    }
    return found;
  }
  bool temporary_folder_empty() const { return fs::is_empty(m_path / "tmp"); }

  // Runs a shell command line inside the folder, within seconds.
  Result shell(const std::string& command, int seconds = 120) const {
    const std::string out = (m_path / ".stdout").string();
    const std::string err = (m_path / ".stderr").string();
    const std::string line = "cd " + quote(m_path.string()) + " && TMPDIR=" + quote((m_path / "tmp").string()) +
                             " timeout -s KILL " + std::to_string(seconds) + " /bin/sh -c " + quote(command) + " >" +
                             quote(out) + " 2>" + quote(err);
    Result result;
    const int status = std::system(line.c_str());
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = read_file(out);
    result.err = read_file(err);
    std::error_code error;
    fs::remove(out, error);
    fs::remove(err, error);
    return result;
  }

  // Runs a program with the arguments, each quoted.
  Result run(const std::string& program, const std::vector<std::string>& arguments, int seconds = 120) const {
    std::string command = quote(program);
    for (const std::string& argument : arguments) command += " " + quote(argument);
    return shell(command, seconds);
  }

 private:
  fs::path m_path;
};

}  // namespace test_support

#endif
