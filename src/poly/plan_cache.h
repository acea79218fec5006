// The plans of the one-point calls: each thread keeps the last few plans it built, so that a
// caller going point by point through a section builds its plan once rather than per point.
#ifndef SENMOD_POLY_PLAN_CACHE_H
#define SENMOD_POLY_PLAN_CACHE_H

#include "poly/section_plan.h"

namespace senmod {

// The plan of section for use. A kept plan serves only while every field of the section and
// every coefficient and starting order that the plan was built from is unchanged, byte for byte
// (a caller may rewrite a model's arrays in place between calls). Returns null with *plan set,
// or the refusal of buildSectionPlan. *plan is this thread's kept copy, valid until its next call
// here, or spare when the thread's cache could not be allocated; spare is not read.
const char* recentSectionPlan(const RSMFunctions* section, Use use, SectionPlan* spare,
                              const SectionPlan** plan);

// recentSectionPlan without a spare: null when this thread has no cache (*refusal null then) or
// the section is refused (*refusal its refusal). Among calls that ask for no more than
// kKeptPlans distinct sections and uses, the plans handed out stay valid: each is used more
// recently than any plan the cache might evict for another.
const SectionPlan* keptSectionPlan(const RSMFunctions* section, Use use, const char** refusal);

// The plans this thread keeps.
constexpr int kKeptPlans = 4;

}  // namespace senmod

#endif  // SENMOD_POLY_PLAN_CACHE_H
