// Decision trees and the boosted ensemble: how values are compared, the
// voting and tie rules, and the faults a stored tree can have.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "enr/enr_classifier.h"
#include "enr/enr_feature.h"

using namespace enr;

namespace {

// A tree that answers "left" for value[3] <= 10 and "right" above.
const Enr_node SPLIT[] = {
    {1, 2, 3, 10, nullptr},
    {-1, -1, 0, 0, "left"},
    {-1, -1, 0, 0, "right"},
};

std::string classify_with(const Enr_classifier& classifier, std::uint16_t value) {
  std::vector<std::uint16_t> values(ENR_FEATURE_COUNT, 0);
  values[3] = value;
  return classifier.classify(values.data());
}

// Always answers the same label.
class Fixed_classifier : public Enr_classifier {
 public:
  explicit Fixed_classifier(std::string label) : m_label(std::move(label)) {}
  std::string classify(const std::uint16_t*) const override { return m_label; }

 private:
  std::string m_label;
};

std::vector<Enr_classifier*> voters(const std::vector<std::string>& labels) {
  std::vector<Enr_classifier*> trees;
  for (const std::string& label : labels) trees.push_back(new Fixed_classifier(label));
  return trees;
}

}  // namespace

TEST(EnrC45tree, ThresholdSplitsNotGreaterLeftAndCompareSigned) {
  const Enr_c45tree tree(SPLIT, 3);
  EXPECT_EQ("left", classify_with(tree, 10));
  EXPECT_EQ("right", classify_with(tree, 11));
  // Values are compared as signed 16-bit numbers: 0xFFFF is -1.
  EXPECT_EQ("left", classify_with(tree, 0xFFFF));
  EXPECT_EQ("right", classify_with(tree, 0x7FFF));
}

TEST(EnrC45tree, EmptyTreeAnswersEmptyLabel) {
  const Enr_c45tree tree(nullptr, 0);
  EXPECT_EQ("", classify_with(tree, 5));
}

TEST(EnrC45tree, MalformedTreesThrowLogicError) {
  const Enr_node bad_left[] = {{-1, 1, 3, 10, nullptr}, {-1, -1, 0, 0, "x"}};
  const Enr_node bad_right[] = {{1, 7, 3, 10, nullptr}, {-1, -1, 0, 0, "x"}};
  // A stored cycle must not hang the caller.
  const Enr_node cycle[] = {{1, 1, 3, 10, nullptr}, {0, 0, 3, 10, nullptr}};
  try {
    classify_with(Enr_c45tree(bad_left, 2), 1);
    FAIL() << "no exception";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ("Invalid classifier tree. Left child index out of range.", e.what());
  }
  try {
    classify_with(Enr_c45tree(bad_right, 2), 50);
    FAIL() << "no exception";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ("Invalid classifier tree. Right child index out of range.", e.what());
  }
  EXPECT_THROW(classify_with(Enr_c45tree(cycle, 2), 1), std::logic_error);
  // A feature index past the feature values must not read beyond them.
  const Enr_node bad_feature[] = {{1, 2, ENR_FEATURE_COUNT, 10, nullptr}, {-1, -1, 0, 0, "x"}, {-1, -1, 0, 0, "y"}};
  EXPECT_THROW(classify_with(Enr_c45tree(bad_feature, 3), 1), std::logic_error);
}

TEST(EnrAdaboost, MajorityVoteAndTieGoesToFirstLabel) {
  const double weights[6] = {4.56, 2.79, 1.7, 0.63, 0.15, 0.02};
  const Enr_adaboost tie(Enr_adaboost::MAJORITY, voters({"koi8-r", "big5", "utf-8", "utf-8", "big5", "koi8-r"}),
                         weights);
  EXPECT_EQ("big5", classify_with(tie, 0));
  const Enr_adaboost majority(Enr_adaboost::MAJORITY, voters({"koi8-r", "big5", "big5", "utf-8", "utf-8", "utf-8"}),
                              weights);
  EXPECT_EQ("utf-8", classify_with(majority, 0));
}

TEST(EnrAdaboost, WeightedPolicyUsesTreeWeights) {
  const double weights[6] = {4.56, 2.79, 1.7, 0.63, 0.15, 0.02};
  // 4.56 for koi8-r against 2.79 + 1.7 + 0.63 + 0.15 + 0.02 = 5.29 for utf-8.
  const Enr_adaboost weighted(Enr_adaboost::WEIGHTED,
                              voters({"koi8-r", "utf-8", "utf-8", "utf-8", "utf-8", "utf-8"}), weights);
  EXPECT_EQ("utf-8", classify_with(weighted, 0));
  const Enr_adaboost heavy_first(Enr_adaboost::WEIGHTED,
                                 voters({"koi8-r", "koi8-r", "utf-8", "utf-8", "utf-8", "utf-8"}), weights);
  EXPECT_EQ("koi8-r", classify_with(heavy_first, 0));
}

TEST(EnrAdaboost, StoredTreesAreWellFormed) {
  // Every compiled tree must classify without tripping its index checks.
  const Enr_tree_set& trees = enr_trained_trees();
  std::vector<std::uint16_t> values(ENR_FEATURE_COUNT, 0);
  for (unsigned t = 0; t < Enr_tree_set::TREES; ++t) {
    for (std::uint32_t i = 0; i < trees.counts[t]; ++i) {
      const Enr_node& node = trees.nodes[t][i];
      if (node.label != nullptr) continue;
      EXPECT_GT(node.left, static_cast<std::int32_t>(i));
      EXPECT_LT(node.left, static_cast<std::int32_t>(trees.counts[t]));
      EXPECT_GT(node.right, static_cast<std::int32_t>(i));
      EXPECT_LT(node.right, static_cast<std::int32_t>(trees.counts[t]));
      EXPECT_GE(node.feature, 0);
      EXPECT_LT(node.feature, ENR_FEATURE_COUNT);
    }
  }
}
