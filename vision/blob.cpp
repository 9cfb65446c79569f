// Blob labelling and centroids on single-sample label images.
#include "blob.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "blob_scan.h"

namespace {

// A maximal run of consecutive pixel indices that has just been labelled and
// whose neighbours above and below are still to be looked at.
struct Run {
    ptrdiff_t first;
    ptrdiff_t last;
};

// The fill's pending runs, kept from call to call so that a frame's fills
// allocate nothing once the list has grown to the largest region seen.
struct WorkList {
    Run *runs = nullptr;
    size_t size = 0;
    size_t capacity = 0;
};
WorkList workList;

bool pushRun(Run run)
{
    if (workList.size == workList.capacity) {
        size_t capacity = workList.capacity ? 2 * workList.capacity : 1024;
        void *grown = realloc(workList.runs, capacity * sizeof(Run));
        if (!grown) return false;
        workList.runs = static_cast<Run *>(grown);
        workList.capacity = capacity;
    }
    workList.runs[workList.size++] = run;
    return true;
}

bool singleSample(const kxImage *image)
{
    return image->data && (image->format == GRAY || image->format == BINARY) && image->width > 0 &&
           image->height > 0;
}

// Fill state of one kxFindBlob call over the image seen as one line of
// width x height samples. In that line the 8 neighbours of index i are
// i +- 1, i +- width and i +- width +- 1, so a maximal run [a, e] of bright
// samples touches exactly the indices a - width - 1 .. e - width + 1 above and
// a + width - 1 .. e + width + 1 below. Labelling whole runs when they are
// found (not when they are taken from the list) puts every pixel on the list
// at most once.
class RegionFill {
public:
    RegionFill(uint16_t *data, ptrdiff_t width, ptrdiff_t pixels, uint16_t label)
        : data_(data), width_(width), pixels_(pixels), label_(label)
    {
    }

    // Labels the region through `start` (a 255-sample); false when the work
    // list could not grow.
    bool fill(ptrdiff_t start)
    {
        workList.size = 0;
        if (!takeRun(start, false)) return false;
        while (workList.size > 0) {
            Run run = workList.runs[--workList.size];
            if (!takeRunsIn(run.first - width_ - 1, run.last - width_ + 1)) return false;
            if (!takeRunsIn(run.first + width_ - 1, run.last + width_ + 1)) return false;
        }
        return true;
    }

    int64_t labelled() const { return labelled_; }

private:
    // Labels the maximal run of 255-samples through index i and queues it.
    // `leftKnown`: the sample before i is known not to be 255.
    bool takeRun(ptrdiff_t i, bool leftKnown)
    {
        ptrdiff_t first = i, last = i;
        if (!leftKnown)
            while (first > 0 && data_[first - 1] == kBlobUnlabelled) --first;
        // The run's end, sixteen samples at a time: the number of trailing
        // matches in each group.
        while (last + 1 + blobscan::kGroup <= pixels_) {
            uint32_t bits = blobscan::equalBits(data_ + last + 1, kBlobUnlabelled);
            int matches = blobscan::lowestBit(~bits);
            last += matches;
            if (matches < blobscan::kGroup) break;
        }
        if (last + 1 + blobscan::kGroup > pixels_)
            while (last + 1 < pixels_ && data_[last + 1] == kBlobUnlabelled) ++last;
        ptrdiff_t length = last - first + 1;
        if (length <= blobscan::kGroup && first + blobscan::kGroup <= pixels_)
            blobscan::fillGroup(data_ + first, static_cast<int>(length), label_);
        else
            for (ptrdiff_t k = first; k <= last; ++k) data_[k] = label_;
        labelled_ += last - first + 1;
        return pushRun(Run{first, last});
    }

    bool takeRunsIn(ptrdiff_t from, ptrdiff_t to)
    {
        if (from < 0) from = 0;
        if (to >= pixels_) to = pixels_ - 1;
        ptrdiff_t i = from;
        while (i <= to) {
            // Sixteen samples at a time where the buffer allows it.
            if (i + blobscan::kGroup <= pixels_) {
                uint32_t bits = blobscan::equalBits(data_ + i, kBlobUnlabelled);
                ptrdiff_t span = to - i + 1;
                if (span < blobscan::kGroup) bits &= (1u << span) - 1;
                if (!bits) {
                    i += blobscan::kGroup;
                    continue;
                }
                int offset = blobscan::lowestBit(bits);
                if (!takeRun(i + offset, offset > 0 || i > from)) return false;
            } else if (data_[i] != kBlobUnlabelled) {
                ++i;
                continue;
            } else if (!takeRun(i, i > from)) {
                return false;
            }
            i = workList.runs[workList.size - 1].last + 2;  // the sample after a run is not 255
        }
        return true;
    }

    uint16_t *data_;
    ptrdiff_t width_;
    ptrdiff_t pixels_;
    uint16_t label_;
    int64_t labelled_ = 0;
};

} // namespace

void clearBorders(kxImage *image)
{
    if (!image || !singleSample(image)) {
        puts("clearBorders: error: illegal image");
        return;
    }
    // Rows are stepped by the image's own width: for the 640-wide frames of
    // the vision loop that is the fixed stride of 640, and no other width can
    // send the column pass outside the buffer.
    const size_t width = static_cast<size_t>(image->width);
    const size_t height = static_cast<size_t>(image->height);
    uint16_t *data = image->data;
    uint16_t *lastRow = data + (height - 1) * width;
    for (size_t c = 0; c < width; ++c) {
        data[c] = kBlobBackground;
        lastRow[c] = kBlobBackground;
    }
    for (size_t r = 0; r < height; ++r) {
        data[r * width] = kBlobBackground;
        data[r * width + width - 1] = kBlobBackground;
    }
}

void kxFindBlob(kxImage *image, int32_t b, int32_t row, int32_t col, BlobRecord *table)
{
    if (!image || !table || !singleSample(image)) {
        puts("kxFindBlob: error: illegal parameter");
        return;
    }
    if (b < 0 || b >= kBlobNumberLimit) {
        puts("kxFindBlob: error: illegal blob number");
        return;
    }
    const ptrdiff_t width = image->width;
    const ptrdiff_t pixels = width * image->height;
    // Only the index is tested, as for the neighbours: a column outside
    // 0..width-1 names a pixel of the row before or after.
    const ptrdiff_t index = static_cast<ptrdiff_t>(row) * width + col;
    if (index < 0 || index >= pixels || image->data[index] != kBlobUnlabelled) return;

    RegionFill region(image->data, width, pixels, blobLabel(b));
    if (!region.fill(index)) puts("kxFindBlob: malloc failed");
    int64_t count = table[b].count + region.labelled();
    table[b].count = count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

void kxFindBlobRelease()
{
    free(workList.runs);
    workList = WorkList{};
}

void centroid(kxImage *image, int32_t b, BlobRecord *table)
{
    if (!image || !table || !singleSample(image)) {
        puts("centroid: error: illegal parameter");
        return;
    }
    if (b < 0 || b >= kBlobNumberLimit) {
        puts("centroid: error: illegal blob number");
        return;
    }
    BlobRecord &blob = table[b];
    blob.row = -1;
    blob.col = -1;
    const int64_t width = image->width;
    const int64_t height = image->height;
    if (blob.seed < 0 || blob.seed >= width * height) return;

    const uint16_t label = blobLabel(b);
    int64_t pixels = 0, rowSum = 0, colSum = 0;
    // A region's rows are consecutive, so the first row without the label
    // ends it.
    for (int64_t r = blob.seed / width; r < height; ++r) {
        RowMatches found = matchRow(image->data + r * width, width, label);
        if (found.count == 0) break;
        pixels += found.count;
        rowSum += r * found.count;
        colSum += found.columnSum;
    }
    if (pixels == 0) return;  // no division by zero: the blob is simply not placed
    blob.row = static_cast<int32_t>(rowSum / pixels);
    blob.col = static_cast<int32_t>(colSum / pixels);
    image->data[blob.row * width + blob.col] = kBlobCentroidMark;
}

int64_t nextUnlabelled(const kxImage *image, int64_t from)
{
    if (!image || !singleSample(image)) return -1;
    const int64_t pixels = static_cast<int64_t>(image->width) * image->height;
    if (from < 0) from = 0;
    if (from >= pixels) return pixels;
    return findSample(image->data, from, pixels, kBlobUnlabelled);
}
