// Which generator fills which slot, over which table.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "enr/enr_feature.h"

namespace enr {

namespace {

const char* const TRIGRAM_NAMES[ENR_TRIGRAM_MODELS] = {
    "iso-8859-1-en", "iso-8859-1-da", "iso-8859-1-de", "iso-8859-1-es", "iso-8859-1-fr", "iso-8859-1-it",
    "iso-8859-1-nl", "iso-8859-1-no", "iso-8859-1-pt", "iso-8859-1-sv", "iso-8859-2-cs", "iso-8859-2-hu",
    "iso-8859-2-pl", "iso-8859-2-ro", "iso-8859-5-ru", "iso-8859-6-ar", "iso-8859-7-el", "iso-8859-8-i-he",
    "iso-8859-8-he", "iso-8859-9-tr", "windows-1251-ru", "windows-1256-ar", "koi8-r-ru",
    "windows-1250-cs", "windows-1250-hu", "windows-1250-pl", "windows-1250-sk", "windows-1250-sl",
    "windows-1250-hr", "windows-1257-lt", "windows-1257-lv", "windows-1257-et", "iso-8859-15-et",
    "ibm866-ru", "koi8-u-uk"};

const char* const BIGRAM_NAMES[ENR_BIGRAM_MODELS] = {
    "koi8-r-ru-moz",      "windows-1251-ru-moz",   "iso-8859-5-ru-moz",  "iso-8859-5-bu-moz",
    "windows-1251-bu-moz", "iso-8859-7-el-moz",    "iso-8859-8-i-he-moz", "iso-8859-8-he-moz",
    "iso-8859-2-hu-moz",  "tis-620-moz"};

const char* const OTHER_NAMES[] = {"big5-moz", "euc-jp-moz", "euc-kr-moz", "gb18030-moz", "sjis",
                                   "big5", "euc-jp", "euc-kr", "gb18030", "hz",
                                   "iso-2022-jp-moz", "iso-2022-kr-moz", "iso-2022-jp-icu", "iso-2022-kr-icu",
                                   "iso-2022-cn-icu"};

std::vector<std::string> make_names() {
  std::vector<std::string> names = {"utf-8", "utf-8-moz", "utf-16", "utf-16be", "utf-16le",
                                    "utf-32", "utf-32be", "utf-32le"};
  for (unsigned i = 0; i < ENR_FIRST_TRIGRAM_MODELS; ++i) names.emplace_back(TRIGRAM_NAMES[i]);
  for (const char* name : BIGRAM_NAMES) names.emplace_back(name);
  for (const char* name : OTHER_NAMES) names.emplace_back(name);
  char name[32];
  for (int i = 0; i < 96; ++i) {
    std::snprintf(name, sizeof name, "byte_feature_%d", i);
    names.emplace_back(name);
  }
  for (unsigned i = ENR_FIRST_TRIGRAM_MODELS; i < ENR_TRIGRAM_MODELS; ++i) names.emplace_back(TRIGRAM_NAMES[i]);
  names.emplace_back("c1-bytes");
  for (unsigned i = 0; i < ENR_SINGLE_BYTE_PAGES; ++i) {
    std::string page = enr_single_byte_pages()[i];
    std::transform(page.begin(), page.end(), page.begin(), [](unsigned char c) { return std::tolower(c); });
    names.push_back("undefined-" + page);
  }
  for (int i = 0; i < 32; ++i) {
    std::snprintf(name, sizeof name, "c1_byte_feature_%d", i);
    names.emplace_back(name);
  }
  return names;
}

constexpr Enr_escape_sequence ISO2022JP_SEQUENCES[] = {
    {{0x1B, 0x24, 0x28, 0x43}, 4}, {{0x1B, 0x24, 0x28, 0x44}, 4}, {{0x1B, 0x24, 0x40}, 3},
    {{0x1B, 0x24, 0x41}, 3},       {{0x1B, 0x24, 0x42}, 3},       {{0x1B, 0x26, 0x40}, 3},
    {{0x1B, 0x28, 0x42}, 3},       {{0x1B, 0x28, 0x48}, 3},       {{0x1B, 0x28, 0x49}, 3},
    {{0x1B, 0x28, 0x4A}, 3},       {{0x1B, 0x2E, 0x41}, 3},       {{0x1B, 0x2E, 0x46}, 3},
};
constexpr Enr_escape_sequence ISO2022KR_SEQUENCES[] = {{{0x1B, 0x24, 0x29, 0x43}, 4}};
constexpr Enr_escape_sequence ISO2022CN_SEQUENCES[] = {
    {{0x1B, 0x24, 0x29, 0x41}, 4}, {{0x1B, 0x24, 0x29, 0x47}, 4}, {{0x1B, 0x24, 0x2A, 0x48}, 4},
    {{0x1B, 0x24, 0x29, 0x45}, 4}, {{0x1B, 0x24, 0x2B, 0x49}, 4}, {{0x1B, 0x24, 0x2B, 0x4A}, 4},
    {{0x1B, 0x24, 0x2B, 0x4B}, 4}, {{0x1B, 0x24, 0x2B, 0x4C}, 4}, {{0x1B, 0x24, 0x2B, 0x4D}, 4},
    {{0x1B, 0x4E}, 2},             {{0x1B, 0x4F}, 2},
};

bool same_map(const unsigned char* a, const unsigned char* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return std::memcmp(a, b, 256) == 0;
}

}  // namespace

const std::vector<std::string>& enr_feature_names() {
  static const std::vector<std::string> names = make_names();
  return names;
}

const Enr_escape_sequence* enr_iso2022_sequences(Enr_feature_array_offset slot, std::uint32_t& count) {
  switch (slot) {
    case ENR_F_ISO_2022_JP_ICU:
      count = std::size(ISO2022JP_SEQUENCES);
      return ISO2022JP_SEQUENCES;
    case ENR_F_ISO_2022_KR_ICU:
      count = std::size(ISO2022KR_SEQUENCES);
      return ISO2022KR_SEQUENCES;
    case ENR_F_ISO_2022_CN_ICU:
      count = std::size(ISO2022CN_SEQUENCES);
      return ISO2022CN_SEQUENCES;
    default:
      count = 0;
      return nullptr;
  }
}

void enr_create_feature_generators(const Enr_model_set& models, std::vector<Enr_feature*>& generators) {
  // Each generator is handed over as soon as it exists, so that an
  // allocation failure part way leaves nothing unowned.
  auto add = [&generators](Enr_feature* feature) { generators.push_back(feature); };
  generators.reserve(generators.size() + 40);
  add(new Enr_utf8_feature(ENR_F_UTF8));
  add(new Enr_utf8_feature_sm(ENR_F_UTF8_MOZ));
  add(new Enr_utf16_feature(ENR_F_UTF16));
  add(new Enr_utf32_feature(ENR_F_UTF32));
  // Languages with the same character map share one walk over the text.
  bool grouped[ENR_TRIGRAM_MODELS] = {};
  for (unsigned i = 0; i < ENR_TRIGRAM_MODELS; ++i) {
    if (grouped[i]) continue;
    const Enr_trigram_model& model = models.trigrams[i];
    std::vector<Enr_sb_trigram_group_feature::Model> group{
        {enr_trigram_slot(i), model.trigrams, model.count}};
    for (unsigned j = i + 1; j < ENR_TRIGRAM_MODELS; ++j) {
      const Enr_trigram_model& other = models.trigrams[j];
      if (same_map(model.char_map, other.char_map)) {
        grouped[j] = true;
        group.push_back({enr_trigram_slot(j), other.trigrams, other.count});
      }
    }
    if (group.size() == 1) {
      add(new Enr_sb_trigram_feature(group.front().slot, model.trigrams, model.count, model.char_map));
    } else {
      add(new Enr_sb_trigram_group_feature(model.char_map, group));
    }
  }
  std::vector<Enr_sb_bigram_group_feature::Model> bigrams;
  for (unsigned i = 0; i < ENR_BIGRAM_MODELS; ++i) {
    bigrams.push_back({static_cast<std::uint16_t>(ENR_F_BIGRAM + i), &models.bigrams[i]});
  }
  add(new Enr_sb_bigram_group_feature(bigrams));
  add(new Enr_mb_feature(ENR_F_BIG5_MOZ, enr_sm_model(ENR_SM_BIG5),
                         new Enr_distanalyser_big5(models.frequencies[ENR_MB_BIG5].ranks)));
  add(new Enr_mb_feature(ENR_F_EUC_JP_MOZ, enr_sm_model(ENR_SM_EUC_JP),
                         new Enr_distanalyser_euc_jp(models.frequencies[ENR_MB_EUC_JP].ranks)));
  add(new Enr_mb_feature(ENR_F_EUC_KR_MOZ, enr_sm_model(ENR_SM_EUC_KR),
                         new Enr_distanalyser_euc_kr(models.frequencies[ENR_MB_EUC_KR].ranks)));
  add(new Enr_mb_feature(ENR_F_GB18030_MOZ, enr_sm_model(ENR_SM_GB18030),
                         new Enr_distanalyser_gb18030(models.frequencies[ENR_MB_GB18030].ranks)));
  const Enr_iterator_kind kinds[5] = {ENR_ITER_SJIS, ENR_ITER_BIG5, ENR_ITER_EUC, ENR_ITER_EUC, ENR_ITER_GB18030};
  for (unsigned i = 0; i < 5; ++i) {
    add(new Enr_mb_feature_common(static_cast<std::uint16_t>(ENR_F_SJIS + i), models.common[i].codes,
                                  models.common[i].count, kinds[i]));
  }
  add(new Enr_esc_feature_sm(ENR_F_HZ, enr_sm_model(ENR_SM_HZ)));
  add(new Enr_esc_feature_sm(ENR_F_ISO_2022_JP_MOZ, enr_sm_model(ENR_SM_ISO2022JP)));
  add(new Enr_esc_feature_sm(ENR_F_ISO_2022_KR_MOZ, enr_sm_model(ENR_SM_ISO2022KR)));
  for (Enr_feature_array_offset slot : {ENR_F_ISO_2022_JP_ICU, ENR_F_ISO_2022_KR_ICU, ENR_F_ISO_2022_CN_ICU}) {
    std::uint32_t count = 0;
    const Enr_escape_sequence* sequences = enr_iso2022_sequences(slot, count);
    add(new Enr_esc_feature_seq(slot, sequences, count));
  }
  add(new Enr_byte_feature(ENR_F_BYTE));
  add(new Enr_high_byte_feature());
}

}  // namespace enr
