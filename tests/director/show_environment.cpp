// Runs the show's precalculation once before the director's tests: the scenes draw from its textures, tables and captions.
#include <gtest/gtest.h>

#include "director/precalc.h"

namespace {

class show_precalc : public testing::Environment {
public:
    void SetUp() override
    {
        // No display is set up, so screen_image has no pixels; the tests
        // hand every frame a buffer of their own.
        static bool done = false;
        if (!done)
            precalc_all();
        done = true;
    }
};

const testing::Environment* const registered = testing::AddGlobalTestEnvironment(new show_precalc);

}  // namespace
