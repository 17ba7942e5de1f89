#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "krn/krn_status.h"
#include "krn/krn_system.h"

using krn::Krn_processor_capability;
using krn::Krn_system;

TEST(KrnSystem, CapabilitiesOutsideTheTableAreFalse) {
  Krn_system* system = Krn_system::instance();
  ASSERT_NE(system, nullptr);
  EXPECT_FALSE(system->processor_has_capability(static_cast<Krn_processor_capability>(9)));
  EXPECT_FALSE(system->processor_has_capability(static_cast<Krn_processor_capability>(0xFFFFFFFFu)));
  EXPECT_GE(system->processor_count(), 1u);
}

TEST(KrnModuleFolder, NamesTheFolderOfTheLibraryHoldingTheAddress) {
  // The libraries and the message modules are built into one folder.
  const std::string folder = krn::krn_module_folder(&krn::KRN_PLAT_STATUS_FILE_NAME);
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(std::filesystem::equivalent(folder, KESTREL_BINARY_DIR "/bin")) << folder;
  EXPECT_TRUE(std::filesystem::exists(folder + "platres2208.so"));

  // Addresses outside every loaded file.
  const auto on_heap = std::make_unique<int>(0);
  EXPECT_EQ(krn::krn_module_folder(on_heap.get()), "");
  EXPECT_EQ(krn::krn_module_folder(nullptr), "");
}

#if defined(__x86_64__)
TEST(KrnSystem, X86_64HasSse2AndHardwareFloatingPoint) {
  Krn_system* system = Krn_system::instance();
  ASSERT_NE(system, nullptr);
  EXPECT_TRUE(system->processor_has_capability(krn::KRN_CPU_SSE2));
  EXPECT_TRUE(system->processor_has_capability(krn::KRN_CPU_SSE));
  EXPECT_TRUE(system->processor_has_capability(krn::KRN_CPU_MMX));
  EXPECT_TRUE(system->processor_has_capability(krn::KRN_CPU_FLOATING_POINT_HARDWARE));
  EXPECT_TRUE(system->processor_has_capability(krn::KRN_CPU_COMPARE_EXCHANGE_DOUBLE));
  EXPECT_TRUE(system->processor_has_capability(krn::KRN_CPU_PHYSICAL_ADDRESS_EXTENSION));
  // Answered from the cache the second time; it must not change.
  EXPECT_TRUE(system->processor_has_capability(krn::KRN_CPU_SSE2));
  EXPECT_GE(system->processor_level(), 6u);
}
#endif

TEST(KrnSystemThreads, EveryThreadGetsTheSameInstanceAndAnswer) {
  std::vector<Krn_system*> seen(4, nullptr);
  std::vector<int> answers(4, -1);
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      seen[i] = Krn_system::instance();
      answers[i] = seen[i]->processor_has_capability(krn::KRN_CPU_SSE3) ? 1 : 0;
    });
  }
  for (auto& t : threads) t.join();
  ASSERT_NE(seen[0], nullptr);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(seen[i], seen[0]);
    EXPECT_EQ(answers[i], answers[0]);
  }
  EXPECT_EQ(Krn_system::instance(), seen[0]);
}
