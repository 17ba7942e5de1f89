#ifndef ENR_CLASSIFIER_H
#define ENR_CLASSIFIER_H

// The classifiers that turn the detector's feature values into a charset
// label: stored C4.5 decision trees and their boosted ensemble.

#include <cstdint>
#include <string>
#include <vector>

#include "enr/enr_export.h"

namespace enr {

// One node of a stored tree; label is set exactly for leaves.
struct Enr_node {
  std::int16_t left;
  std::int16_t right;
  std::int16_t feature;
  std::int16_t threshold;
  const char* label;
};

class ENR_API Enr_classifier {
 public:
  Enr_classifier() = default;
  Enr_classifier(const Enr_classifier&) = delete;
  Enr_classifier& operator=(const Enr_classifier&) = delete;
  // The virtual operations keep this order.
  virtual ~Enr_classifier();
  // Safe for concurrent callers.
  virtual std::string classify(const std::uint16_t* values) const = 0;
};

// Does not own the nodes. Values greater than a node's threshold go right.
// A child index outside the array throws std::logic_error.
class ENR_API Enr_c45tree : public Enr_classifier {
 public:
  Enr_c45tree(const Enr_node* nodes, std::uint32_t count) : m_nodes(nodes), m_count(count) {}
  std::string classify(const std::uint16_t* values) const override;

 private:
  const Enr_node* m_nodes;
  std::uint32_t m_count;
};

class ENR_API Enr_adaboost : public Enr_classifier {
 public:
  // 0: one vote per tree; otherwise tree i votes with weight i.
  enum Decision_policy : std::int32_t { MAJORITY = 0, WEIGHTED = 1 };

  // Takes ownership of the trees; weights (one per tree) must outlive this.
  Enr_adaboost(Decision_policy policy, std::vector<Enr_classifier*> trees, const double* weights);
  ~Enr_adaboost() override;
  // The label with the greatest sum of votes; of equal sums the one that
  // sorts first.
  std::string classify(const std::uint16_t* values) const override;

 private:
  Decision_policy m_policy;
  std::vector<Enr_classifier*> m_trees;
  const double* m_weights;
};

// The trees compiled into the library, in voting order, with the weights
// of their boosting rounds.
struct Enr_tree_set {
  static constexpr unsigned TREES = 6;
  const Enr_node* nodes[TREES];
  std::uint32_t counts[TREES];
  const double* weights;
};

ENR_API const Enr_tree_set& enr_trained_trees();

}  // namespace enr

#endif
