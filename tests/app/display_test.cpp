// Display set-up, presentation and release on the virtual backend: the mode
// asked for, the pixels flipped, the debug strings of each failure, and the
// release after a failed set-up.
#include "app/display.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/present.h"
#include "base/frame.h"
#include "platform/platform.h"
#include "platform/virtual/virtual_controls.h"

namespace {

struct flipped {
    std::vector<uint8_t> bytes;
    int pitch = 0;
    int width = 0;
    int height = 0;
    int depth = 0;
};

void keep_frame(const virtual_frame& frame, void* user)
{
    auto* out = static_cast<std::vector<flipped>*>(user);
    out->push_back({std::vector<uint8_t>(frame.pixels, frame.pixels + size_t(frame.pitch) * frame.height), frame.pitch,
                    frame.width, frame.height, frame.depth});
}

class Display : public testing::Test {
protected:
    void SetUp() override
    {
        platform_use(&platform_virtual_backend);
        virtual_reset();
        virtual_set_frame_sink(keep_frame, &frames);
        display = display_state{};
        platform_window_create("test");
    }
    void TearDown() override
    {
        display_release();
        platform_use(&platform_sdl_backend);
    }

    // A frame buffer of distinct colours, including the worked greys.
    void paint()
    {
        uint32_t* pixels = display_frame_buffer();
        for (int i = 0; i < screen_width * screen_height; ++i)
            pixels[i] = uint32_t(i) * 0x9E3779B1u;
        pixels[0] = 0x00FFFFFF;
        pixels[1] = 0x00080808;
        pixels[2] = 0x00070707;
    }

    std::vector<flipped> frames;
};

uint16_t word_at(const flipped& frame, int x, int y)
{
    const uint8_t* at = frame.bytes.data() + size_t(y) * frame.pitch + x * 2;
    return uint16_t(at[0] | at[1] << 8);
}

}  // namespace

TEST_F(Display, DefaultsGiveTheFullScreenAt320x240x32)
{
    ASSERT_EQ(display_setup(320, 240), 0);
    platform_display_mode mode = virtual_display_mode();
    EXPECT_EQ(mode.width, 320);
    EXPECT_EQ(mode.height, 240);
    EXPECT_EQ(mode.depth, 32);
    EXPECT_TRUE(mode.fullscreen);
    // The frame buffer starts black.
    for (int i = 0; i < 320 * 240; ++i)
        ASSERT_EQ(display_frame_buffer()[i], 0u);
}

TEST_F(Display, PresentFlipsTheConvertedFrameAtThePitch)
{
    virtual_set_extra_pitch(36);
    for (int depth : {15, 16, 24, 32}) {
        for (int scale : {1, 2}) {
            SCOPED_TRACE(testing::Message() << "depth " << depth << " scale " << scale);
            display = display_state{};
            display.display_depth = depth;
            display.display_scale = scale;
            display.display_windowed = true;
            frames.clear();
            ASSERT_EQ(display_setup(320, 240), 0);
            platform_display_mode mode = virtual_display_mode();
            EXPECT_EQ(mode.width, 320 * scale);
            EXPECT_EQ(mode.height, 240 * scale);
            EXPECT_EQ(mode.depth, depth);
            EXPECT_FALSE(mode.fullscreen);
            paint();
            testing::internal::CaptureStderr();
            display_present();
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
            ASSERT_EQ(frames.size(), 1u);
            const flipped& frame = frames[0];
            int pitch = 320 * scale * platform_bytes_per_pixel(depth) + 36;
            ASSERT_EQ(frame.pitch, pitch);
            std::vector<uint8_t> want(size_t(pitch) * 240 * scale, 0);
            present_convert(display_frame_buffer(), 320, 240, depth, scale == 2, want.data(), pitch);
            EXPECT_TRUE(frame.bytes == want);
            if (depth == 15 || depth == 16) {
                // The worked values, as the display receives them (doubled: a 2 x 2 block each).
                uint16_t white = depth == 15 ? 0x7FFF : 0xFFFF;
                uint16_t grey8 = depth == 15 ? 0x0421 : 0x0841;
                uint16_t grey7 = depth == 15 ? 0x0000 : 0x0020;
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx) {
                        EXPECT_EQ(word_at(frame, 0 * scale + dx, dy), white);
                        EXPECT_EQ(word_at(frame, 1 * scale + dx, dy), grey8);
                        EXPECT_EQ(word_at(frame, 2 * scale + dx, dy), grey7);
                    }
            }
            display_release();
            EXPECT_EQ(display_frame_buffer(), nullptr);
            EXPECT_EQ(virtual_display_mode().depth, 0) << "the display is still open";
        }
    }
}

TEST_F(Display, FailedSetUpWritesDDrawErrorAndReleasesEverything)
{
    struct failing {
        int depth;
        int scale;
        bool platform_fails;
        const char* reason;
    } cases[] = {
        {8, 1, false, "depth 8"},
        {32, 3, false, "scale 3"},
        {32, 1, true, "told to fail"},
    };
    for (const failing& c : cases) {
        SCOPED_TRACE(c.reason);
        display = display_state{};
        display.display_depth = c.depth;
        display.display_scale = c.scale;
        virtual_faults faults;
        faults.open = c.platform_fails;
        virtual_set_faults(faults);
        testing::internal::CaptureStderr();
        EXPECT_EQ(display_setup(320, 240), 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "DDraw Error\n");
        EXPECT_NE(std::string(display.failure).find(c.reason), std::string::npos) << display.failure;
        EXPECT_EQ(display_frame_buffer(), nullptr);
        EXPECT_FALSE(display.display_open);
        EXPECT_EQ(virtual_display_mode().depth, 0);
        // A later release finds nothing to do.
        testing::internal::CaptureStderr();
        display_release();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    }
}

TEST_F(Display, PresentationFailuresWriteTheirDebugStrings)
{
    ASSERT_EQ(display_setup(320, 240), 0);
    paint();
    display_present();
    ASSERT_EQ(frames.size(), 1u);

    // A failed lock skips the conversion: the previous picture is flipped again, silently.
    display_frame_buffer()[0] = 0x00123456;
    virtual_faults faults;
    faults.lock = true;
    virtual_set_faults(faults);
    testing::internal::CaptureStderr();
    display_present();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(frames[1].bytes == frames[0].bytes);

    // A failed unlock is reported; the frame is still flipped.
    faults = {};
    faults.unlock = true;
    virtual_set_faults(faults);
    testing::internal::CaptureStderr();
    display_present();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "BackBuffer->Unlock() Failed!\n");
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[2].bytes[0], 0x56);

    // A failed flip is reported; the loop just goes on.
    faults = {};
    faults.flip = true;
    virtual_set_faults(faults);
    testing::internal::CaptureStderr();
    display_present();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "FrontBuffer->Flip() Failed!\n");
    EXPECT_EQ(frames.size(), 3u);
}
