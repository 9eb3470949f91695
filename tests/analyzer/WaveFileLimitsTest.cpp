#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "analyzer/WaveBuffer.h"
#include "tests/analyzer/WaveImages.h"

namespace kelo {
namespace {

// A large file is judged by its 12-byte header and its size before anything else is read.
TEST(WaveFile, LargeFilesAreRefusedBeforeTheyAreRead) {
    test::ScratchDir dir("limits");
    auto sparse = [&](const char* name, const char* header, uint64_t size) {
        const std::string path = dir.file(name);
        std::ofstream(path, std::ios::binary).write(header, 12);
        std::filesystem::resize_file(path, size);
        return path;
    };
    WaveBuffer buf;
    std::string error;
    EXPECT_FALSE(loadWaveFile(buf, sparse("movie.wav", "RIFF\xff\xff\xff\x7f" "AVI ", kMaxWaveFileBytes + 1), error));
    EXPECT_EQ(error, "not a WAV or AIFF file");
    EXPECT_FALSE(loadWaveFile(buf, sparse("huge.wav", "RIFF\xff\xff\xff\x7f" "WAVE", kMaxWaveFileBytes + 1), error));
    EXPECT_NE(error.find("larger than 128 MiB"), std::string::npos) << error;
    EXPECT_EQ(buf.frameCount, 0);
    EXPECT_FALSE(buf.loaded);
    EXPECT_FALSE(loadWaveFile(buf, dir.file("missing.wav"), error));
    EXPECT_EQ(error, "cannot open the file");
    // At the limit the file is read and judged by its chunks.
    EXPECT_FALSE(loadWaveFile(buf, sparse("empty.wav", "RIFF\x04\0\0\0" "WAVE", 12), error));
    EXPECT_EQ(error, "not a readable 16-bit PCM WAV or AIFF file");
}

} // namespace
} // namespace kelo
