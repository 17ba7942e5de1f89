// Every status value that the code can raise must have a text in a message
// module. The values are found by scanning the sources for facility 0x200
// and 0x201 values: the named constants and any literal that slipped past
// them.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "krn/krn_messages.h"
#include "krn/krn_string.h"

using namespace krn;
namespace fs = std::filesystem;

namespace {

std::map<unsigned, std::string> values_in_sources() {
  std::map<unsigned, std::string> found;
  const std::regex value(R"(0[xX]([8cC]20[01][0-9a-fA-F]{4})\b)");
  for (const char* folder : {"platform", "tokentext", "utility", "kestrel"}) {
    const fs::path root = fs::path(KESTREL_SOURCE_DIR) / folder;
    if (!fs::exists(root)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      const fs::path& path = entry.path();
      if (!entry.is_regular_file() || (path.extension() != ".h" && path.extension() != ".cpp")) continue;
      if (path.string().find("/tests/") != std::string::npos) continue;
      std::ifstream in(path);
      std::stringstream text;
      text << in.rdbuf();
      const std::string content = text.str();
      for (std::sregex_iterator it(content.begin(), content.end(), value), end; it != end; ++it) {
        found.emplace(std::stoul((*it)[1].str(), nullptr, 16), path.string());
      }
    }
  }
  return found;
}

}  // namespace

TEST(MessageCoverage, EveryStatusValueInTheCodeHasAText) {
  Krn_messages_list list;
  Krn_status status;
  list.add(std::vector<Wstring>{u"platres2208.so", u"utilres2208.so"}, status);
  ASSERT_TRUE(status.ok()) << "the message modules could not be loaded";

  const auto values = values_in_sources();
  ASSERT_GT(values.size(), 30u) << "the source scan found too few values to be trusted";
  for (const auto& [value, file] : values) {
    bool has_text = false;
    for (const Krn_messages* messages : list) {
      Wstring text;
      if (messages->format_message(Krn_status(value), text) && !text.empty()) has_text = true;
    }
    EXPECT_TRUE(has_text) << std::hex << "0x" << value << " (" << file << ") has no message text";
  }
}

TEST(MessageCoverage, PlaceholdersAreFilledInOrder) {
  Krn_messages_list list;
  Krn_status status;
  list.add(u"utilres2208.so", status);
  ASSERT_TRUE(status.ok());
  Wstring text;
  list.format_message(Krn_status(0xC2012522u, Krn_wstring_status_arg(u"old.dat")), text);
  EXPECT_EQ(text, u"The data set file \"old.dat\" has a format version that is not supported.");
}
