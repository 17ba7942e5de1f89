#include "enr/enr_classifier.h"

#include <map>
#include <stdexcept>

#include "enr/enr_feature.h"

namespace enr {

Enr_classifier::~Enr_classifier() = default;

std::string Enr_c45tree::classify(const std::uint16_t* values) const {
  if (m_count == 0) return std::string();
  std::uint32_t index = 0;
  // A well-formed tree reaches a leaf in fewer steps than it has nodes; the
  // bound keeps a stored cycle from hanging the caller.
  for (std::uint32_t step = 0; step <= m_count; ++step) {
    const Enr_node& node = m_nodes[index];
    if (node.label != nullptr) return node.label;
    if (node.feature < 0 || node.feature >= ENR_FEATURE_COUNT)
      throw std::logic_error("Invalid classifier tree. Feature index out of range.");
    const int value = static_cast<std::int16_t>(values[node.feature]);
    if (value > node.threshold) {
      if (node.right < 0 || static_cast<std::uint32_t>(node.right) >= m_count)
        throw std::logic_error("Invalid classifier tree. Right child index out of range.");
      index = static_cast<std::uint32_t>(node.right);
    } else {
      if (node.left < 0 || static_cast<std::uint32_t>(node.left) >= m_count)
        throw std::logic_error("Invalid classifier tree. Left child index out of range.");
      index = static_cast<std::uint32_t>(node.left);
    }
  }
  throw std::logic_error("Invalid classifier tree. The nodes form a cycle.");
}

Enr_adaboost::Enr_adaboost(Decision_policy policy, std::vector<Enr_classifier*> trees, const double* weights)
    : m_policy(policy), m_trees(std::move(trees)), m_weights(weights) {}

Enr_adaboost::~Enr_adaboost() {
  for (Enr_classifier* tree : m_trees) delete tree;
}

std::string Enr_adaboost::classify(const std::uint16_t* values) const {
  std::map<std::string, double> votes;
  for (std::size_t i = 0; i < m_trees.size(); ++i) {
    const double weight = m_policy == MAJORITY || m_weights == nullptr ? 1.0 : m_weights[i];
    votes[m_trees[i]->classify(values)] += weight;
  }
  std::string best;
  double best_sum = -1.0;
  for (const auto& [label, sum] : votes) {
    if (sum > best_sum) {
      best_sum = sum;
      best = label;
    }
  }
  return best;
}

}  // namespace enr
