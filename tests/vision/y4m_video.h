// Recorded videos for the vision program's process tests: 640 x 480 YUV 4:2:0
// frames with white markers (luma 230, converted to 249 on every channel) on a
// dark ground (luma 20, converted to 4), written as a YUV4MPEG2 file.
#pragma once

#include <string>
#include <vector>

namespace visiontest {

class LumaFrame {
public:
    LumaFrame();
    // A filled disc centred on (row, col); its centroid is (row, col).
    void disc(int row, int col, int radius);
    // One bright pixel.
    void dot(int row, int col);
    const std::vector<unsigned char> &planes() const { return planes_; }

private:
    std::vector<unsigned char> planes_;
};

// Writes the frames as a YUV4MPEG2 stream; false on a write failure.
bool writeY4m(const std::string &path, const std::vector<LumaFrame> &frames);

} // namespace visiontest
