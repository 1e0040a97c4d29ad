// Runs the show's precalculation once before the director's tests: the scenes draw from its textures, tables and captions.
#include <gtest/gtest.h>

#include "tests/support/show_precalc.h"

namespace {

class show_precalc : public testing::Environment {
public:
    void SetUp() override
    {
        precalculated_show();
    }
};

const testing::Environment* const registered = testing::AddGlobalTestEnvironment(new show_precalc);

}  // namespace
