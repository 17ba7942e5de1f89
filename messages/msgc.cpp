// Compiles a status message source into C++ for a message module.
//
// Source format, one entry per line:
//   0xC2000002  The message file "%1" could not be loaded.
// Blank lines and lines starting with '#' are ignored. A line that starts with
// white space continues the text of the previous entry (joined with a space).
// The module exports one C function, krn_message_table, that returns the table
// sorted by message number.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

namespace {

std::string escape(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x\"u\"", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string trim(const std::string& s) {
  auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: krn_msgc <source.msg> <output.cpp>\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::cerr << argv[1] << ": cannot open\n";
    return 1;
  }
  std::map<std::uint32_t, std::string> table;
  std::string line;
  std::uint32_t last = 0;
  bool have_last = false;
  int line_no = 0;
  while (std::getline(in, line)) {
    ++line_no;
    if (trim(line).empty() || trim(line)[0] == '#') continue;
    if (line[0] == ' ' || line[0] == '\t') {
      if (!have_last) {
        std::cerr << argv[1] << ":" << line_no << ": continuation without an entry\n";
        return 1;
      }
      table[last] += " " + trim(line);
      continue;
    }
    std::istringstream fields(line);
    std::string number;
    fields >> number;
    char* end = nullptr;
    unsigned long value = std::strtoul(number.c_str(), &end, 16);
    if (number.size() < 3 || number.compare(0, 2, "0x") != 0 || *end != '\0' || value > 0xFFFFFFFFul) {
      std::cerr << argv[1] << ":" << line_no << ": expected a hexadecimal message number\n";
      return 1;
    }
    std::string text;
    std::getline(fields, text);
    text = trim(text);
    if (text.empty()) {
      std::cerr << argv[1] << ":" << line_no << ": empty message text\n";
      return 1;
    }
    last = static_cast<std::uint32_t>(value);
    if (!table.emplace(last, text).second) {
      std::cerr << argv[1] << ":" << line_no << ": message number given twice\n";
      return 1;
    }
    have_last = true;
  }

  std::ofstream out(argv[2]);
  out << "// Generated from " << argv[1] << "; do not edit.\n"
      << "#include <cstddef>\n#include <cstdint>\n\n"
      << "namespace {\nstruct Entry { std::uint32_t id; const char16_t* text; };\n"
      << "const Entry k_table[] = {\n";
  for (const auto& [id, text] : table) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08Xu", id);
    out << "  {" << hex << ", u\"" << escape(text) << "\"},\n";
  }
  out << "};\n}  // namespace\n\n"
      << "extern \"C\" __attribute__((visibility(\"default\")))\n"
      << "const void* krn_message_table(std::size_t* count) {\n"
      << "  *count = sizeof k_table / sizeof k_table[0];\n"
      << "  return k_table;\n}\n";
  return out ? 0 : 1;
}
