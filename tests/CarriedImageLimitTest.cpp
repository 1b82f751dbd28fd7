// The configure-time check of the carried image (cmake/CheckFirmwareImage.cmake), run as a script on
// sparse files: a classic image is refused from the first size whose blocks Step 3 cannot count in 16
// bits, and a framed-family container of any size is left to Step 3.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr std::uintmax_t kLargestClassicImage = 65535 * 256 - 1;

class CarriedImageLimit : public testing::Test {
protected:
    void SetUp() override {
        if (std::system("cmake --version >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "cmake is not on the path";
        }
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // True when the check lets an image of this size and start through.
    bool accepted(std::uintmax_t size, const std::string& start = "") {
        const fs::path image = dir_ / "image.bin";
        std::ofstream(image, std::ios::binary | std::ios::trunc) << start;
        fs::resize_file(image, size);
        const std::string command = "cmake -DIMAGE=" + image.string() + " -P " + ORVEXA_SOURCE_DIR +
                                    "/cmake/CheckFirmwareImage.cmake >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }

    fs::path dir_ = fs::temp_directory_path() / ("orvexa-image-limit-" + std::to_string(getpid()));
};

TEST_F(CarriedImageLimit, ClassicImageIsRefusedFromTheFirstSizeStepThreeCannotCount) {
    EXPECT_TRUE(accepted(174614));
    EXPECT_TRUE(accepted(kLargestClassicImage));
    EXPECT_FALSE(accepted(kLargestClassicImage + 1)); // the progress range's top would read 0
    EXPECT_FALSE(accepted(16 * 1024 * 1024 + 256));   // block 65536 would be written as block 0
    EXPECT_TRUE(accepted(32 * 1024 * 1024, "UPDATE"));
}

} // namespace
