#include "frame_blobs.h"

#include <utility>

namespace dockingtest {

std::vector<Blob> findBlobs(const dockworld::YuvFrame &frame, int threshold, int minPixels)
{
    const int w = frame.width;
    const int h = frame.height;
    std::vector<char> seen(static_cast<size_t>(w) * h, 0);
    std::vector<Blob> blobs;
    std::vector<std::pair<int, int>> work;
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            const size_t i = static_cast<size_t>(r) * w + c;
            if (seen[i] || frame.lumaAt(c, r) <= threshold)
                continue;
            Blob b;
            double sumRow = 0, sumCol = 0;
            seen[i] = 1;
            work.assign(1, {r, c});
            while (!work.empty()) {
                const auto [pr, pc] = work.back();
                work.pop_back();
                ++b.pixels;
                sumRow += pr;
                sumCol += pc;
                for (int dr = -1; dr <= 1; ++dr)
                    for (int dc = -1; dc <= 1; ++dc) {
                        const int nr = pr + dr, nc = pc + dc;
                        if (nr < 0 || nc < 0 || nr >= h || nc >= w)
                            continue;
                        const size_t j = static_cast<size_t>(nr) * w + nc;
                        if (!seen[j] && frame.lumaAt(nc, nr) > threshold) {
                            seen[j] = 1;
                            work.push_back({nr, nc});
                        }
                    }
            }
            if (b.pixels >= minPixels) {
                b.row = sumRow / b.pixels;
                b.col = sumCol / b.pixels;
                blobs.push_back(b);
            }
        }
    }
    return blobs;
}

} // namespace dockingtest
