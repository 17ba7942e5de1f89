#ifndef CLI_TEST_SUPPORT_H
#define CLI_TEST_SUPPORT_H

// Runs the built kestrel programs in a fresh folder and collects what they
// write. Each run goes through the shell so that a test can set limits
// (ulimit) or start runs side by side; every run is bounded in time.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace cli_test {

namespace fs = std::filesystem;

inline const std::string KESTREL = KESTREL_BINARY_DIR "/bin/kestrel";
inline const std::string INSPECT = KESTREL_BINARY_DIR "/bin/kestrel-inspect";

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
  Folder() {
    std::random_device seed;
    std::error_code error;
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
      const fs::path candidate = fs::temp_directory_path() / ("kestrel-cli-" + std::to_string(seed()));
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
  Result kestrel(const std::vector<std::string>& arguments, int seconds = 120) const {
    return run(KESTREL, arguments, seconds);
  }

 private:
  fs::path m_path;
};

// What kestrel writes on standard output for its usage.
inline std::string usage_text() {
  return "\n"
         "kestrel 22.08.00\n"
         "\n"
         "Usage:\n"
         "\n"
         "\tkestrel -k <key_name>  (-k <key_name>)* -s <schema> -i <input_file> -o <output_file>\n"
         "\tkestrel -u -i <input_file> -o <output_file>\n"
         "\tkestrel -h\n"
         "\n"
         "Where:\n"
         "\n"
         "\t<key_name>\tis the field name of one of the key field. This must be specified in <schema>\n"
         "\n"
         "\t<schema>\tis a semi-colon separated list of comma separated pairs. Where the first value\n"
         "\t\t\tin the pair is the field name in the schema and the second is the formatter type name\n"
         "\t\t\tto be used to format that field. E.g:\n"
         "\t\t\tFirstName,Simple;Surname,SimpleNC; CardNum,CCNUMBER\n"
         "\n"
         "\t\t\tNOTE: The order the fields are specified in the <schema> MUST match the order they are\n"
         "\t\t\tin the input file. There are no column headers in the input file. The only way it can\n"
         "\t\t\tidentify the fields in the input is from their order in the specified <schema>.\n"
         "\n"
         "\t<input_file>\tis the relative filename of the input file\n"
         "\n"
         "\t<output_file>\tis the relative filename of the output file. If the output file already\n"
         "\t\t\texists kestrel will fail\n"
         "\n"
         "\t-u  means upgrade the file to the latest version.\n"
         "\n"
         "\t-h  means just display usage message.\n"
         "\n";
}

// The shell reports exit code -1 as 255.
inline constexpr int FAILED = 255;

inline const std::string SCHEMA = "FirstName,Simple;Surname,SimpleNC;CardNum,CCNUMBER";

// A few sound records of the schema above.
inline std::string sample_records() {
  return "Anne\tO'Neil\t4111 1111-1111 1111\n"
         "Jean-Luc\tPicard\t5500 0000 0000 0004\n"
         "Zoë\tBrontë\t3400-000000-00009\n";
}

}  // namespace cli_test

#endif
