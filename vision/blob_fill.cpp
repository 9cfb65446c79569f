// Region fill on bit masks. The image is taken as one line of samples cut
// into words of 64 indices. A word's bright, unlabelled samples are read into
// a 64-bit mask with a few vector comparisons; the seeds that reach a word
// are grown along its runs, and then passed on as bit masks: across the
// word's ends (index +- 1) and, widened by one index to either side, one row
// up and one row down (index +- width). Seeds meeting in a word wait there
// together, and the word met last is taken first (which follows a path to its
// end before turning back, and revisits words less often than taking them in
// order), so a word is visited a few times rather than once per run. The labelled set is the
// 8-connected region whatever order the words are taken in. Samples are
// written once per word, when the region is complete: a large region visits
// its words several times, and each visit then costs only bit operations.
#include "blob_fill.h"

#include <cstdlib>
#include <cstring>

#include "blob.h"
#include "blob_scan.h"

namespace {

constexpr int64_t kWordBits = 64;

// Per-word state of the fill, kept from fill to fill so that a frame's fills
// allocate nothing once it has grown to the largest image seen. An entry
// belongs to the current fill only when its stamp is the fill's generation,
// so nothing has to be cleared between fills.
struct FillMemory {
    uint64_t *free = nullptr;     // samples still 255 (bright, unlabelled)
    uint64_t *bright = nullptr;   // samples that were 255 when the fill first met the word
    uint64_t *pending = nullptr;  // seeds waiting for the word's next visit
    uint32_t *stamp = nullptr;
    int64_t *queue = nullptr;     // words with pending seeds, a stack of words + 1
    int64_t *touched = nullptr;   // words the fill has met, in the order met
    int64_t words = 0;
    uint32_t generation = 0;
};
FillMemory memory;

void releaseMemory()
{
    free(memory.free);
    free(memory.bright);
    free(memory.pending);
    free(memory.touched);
    free(memory.stamp);
    free(memory.queue);
    memory = FillMemory{};
}

bool reserveWords(int64_t words)
{
    if (words <= memory.words) return true;
    releaseMemory();
    const size_t count = static_cast<size_t>(words);
    memory.free = static_cast<uint64_t *>(malloc(count * sizeof(uint64_t)));
    memory.bright = static_cast<uint64_t *>(malloc(count * sizeof(uint64_t)));
    memory.pending = static_cast<uint64_t *>(malloc(count * sizeof(uint64_t)));
    memory.stamp = static_cast<uint32_t *>(calloc(count, sizeof(uint32_t)));
    memory.queue = static_cast<int64_t *>(malloc((count + 1) * sizeof(int64_t)));
    memory.touched = static_cast<int64_t *>(malloc(count * sizeof(int64_t)));
    if (!memory.free || !memory.bright || !memory.pending || !memory.stamp || !memory.queue ||
        !memory.touched) {
        releaseMemory();
        return false;
    }
    memory.words = words;
    return true;
}

// Grows `seeds` along the runs of `free` (which holds the seeds) in both
// directions. Upward (to higher bits) by one addition: a seed's carry runs
// through the free bits above it and stops at the first bit that is not
// free, so the carries into each position are exactly the free bits a seed
// below reaches. Downward by log-step smearing, each step doubling the
// distance covered.
uint64_t growAlongRuns(uint64_t seeds, uint64_t free)
{
    const uint64_t carries = (free + seeds) ^ free ^ seeds;
    const uint64_t up = seeds | (carries & free);
    uint64_t down = seeds, downFree = free;
#pragma GCC unroll 6
    for (int shift = 1; shift < 64; shift *= 2) {
        down |= (down >> shift) & downFree;
        downFree &= downFree >> shift;
    }
    return up | down;
}

int64_t floorWord(int64_t index) { return index >= 0 ? index / kWordBits : -((-index + 63) / kWordBits); }

class WordFill {
public:
    WordFill(uint16_t *data, int64_t width, int64_t pixels, uint16_t label)
        : data_(data), width_(width), pixels_(pixels), words_((pixels + 63) / kWordBits), label_(label)
    {
    }

    bool fill(int64_t start)
    {
        if (!reserveWords(words_)) return false;
        if (++memory.generation == 0) {  // stamps of 2^32 fills ago would look current
            memset(memory.stamp, 0, static_cast<size_t>(memory.words) * sizeof(uint32_t));
            memory.generation = 1;
        }
        seedWord(start / kWordBits, uint64_t(1) << (start % kWordBits));
        while (waiting_ > 0) {
            const int64_t word = memory.queue[--waiting_];
            const uint64_t seeds = memory.pending[word];
            memory.pending[word] = 0;
            const uint64_t free = memory.free[word];
            const uint64_t region = growAlongRuns(seeds, free);
            memory.free[word] = free & ~region;
            passOn(word, region);
        }
        for (int64_t i = 0; i < touched_; ++i) {
            const int64_t word = memory.touched[i];
            const uint64_t region = memory.bright[word] & ~memory.free[word];
            writeLabel(word, region);
            labelled_ += __builtin_popcountll(region);
        }
        return true;
    }

    int64_t labelled() const { return labelled_; }

private:
    // Bits of the word's samples equal to 255; none past the buffer's end.
    uint64_t unlabelled(int64_t word) const
    {
        const int64_t base = word * kWordBits;
        const uint16_t *samples = data_ + base;
        if (base + kWordBits <= pixels_) {
            return uint64_t(blobscan::equalBits(samples, kBlobUnlabelled)) |
                   uint64_t(blobscan::equalBits(samples + 16, kBlobUnlabelled)) << 16 |
                   uint64_t(blobscan::equalBits(samples + 32, kBlobUnlabelled)) << 32 |
                   uint64_t(blobscan::equalBits(samples + 48, kBlobUnlabelled)) << 48;
        }
        uint64_t bits = 0;
        for (int64_t j = 0; base + j < pixels_; ++j)
            if (samples[j] == kBlobUnlabelled) bits |= uint64_t(1) << j;
        return bits;
    }

    void writeLabel(int64_t word, uint64_t bits)
    {
        const int64_t base = word * kWordBits;
        if (base + kWordBits <= pixels_) {
            // All eight groups, selected or not: cheaper than guessing which.
            for (int chunk = 0; chunk < 8; ++chunk)
                blobscan::writeSelected(data_ + base + 8 * chunk, unsigned(bits >> (8 * chunk)) & 0xFF, label_);
            return;
        }
        for (int64_t j = 0; base + j < pixels_; ++j)
            if (bits >> j & 1) data_[base + j] = label_;
    }

    // Adds the unlabelled ones among `bits` to the word's pending seeds and
    // queues the word if it was not waiting already.
    void seedWord(int64_t word, uint64_t bits)
    {
        if (word < 0 || word >= words_) return;
        if (memory.stamp[word] != memory.generation) {
            memory.stamp[word] = memory.generation;
            memory.free[word] = memory.bright[word] = unlabelled(word);
            memory.pending[word] = 0;
            memory.touched[touched_++] = word;
        }
        bits &= memory.free[word];
        // Written without branches (which would be guesses on random
        // pictures): the slot above the top is always free, and the top only
        // moves when the word starts waiting.
        const bool starts = memory.pending[word] == 0 && bits != 0;
        memory.queue[waiting_] = word;
        waiting_ += starts;
        memory.pending[word] |= bits;
    }

    // Seeds for the indices first + j, j = 0..63, where bits has bit j set.
    void seedIndices(int64_t first, uint64_t bits)
    {
        const int64_t word = floorWord(first);
        const int offset = int(first - word * kWordBits);
        seedWord(word, bits << offset);
        if (offset) seedWord(word + 1, bits >> (kWordBits - offset));
    }

    // Hands the newly labelled `region` of a word to its neighbours.
    void passOn(int64_t word, uint64_t region)
    {
        if (width_ % kWordBits == 0) {  // rows of whole words: the 640-wide frames
            passOnAligned(word, region, width_ / kWordBits);
            return;
        }
        const int64_t base = word * kWordBits;
        // Index +- 1 beyond the word's ends, and the same widened row above
        // and below.
        if (region >> 63) {
            seedWord(word + 1, 1);
            seedIndices(base + kWordBits - width_, 1);
            seedIndices(base + kWordBits + width_, 1);
        }
        if (region & 1) {
            seedWord(word - 1, uint64_t(1) << 63);
            seedIndices(base - 1 - width_, 1);
            seedIndices(base - 1 + width_, 1);
        }
        const uint64_t widened = region | region << 1 | region >> 1;
        seedIndices(base - width_, widened);
        seedIndices(base + width_, widened);
    }

    // passOn when the words above and below are whole words, `rowWords` away.
    void passOnAligned(int64_t word, uint64_t region, int64_t rowWords)
    {
        if (region >> 63) {
            seedWord(word + 1, 1);
            seedWord(word + 1 - rowWords, 1);
            seedWord(word + 1 + rowWords, 1);
        }
        if (region & 1) {
            const uint64_t top = uint64_t(1) << 63;
            seedWord(word - 1, top);
            seedWord(word - 1 - rowWords, top);
            seedWord(word - 1 + rowWords, top);
        }
        // Last, so that the word's own column is followed first.
        const uint64_t widened = region | region << 1 | region >> 1;
        seedWord(word - rowWords, widened);
        seedWord(word + rowWords, widened);
    }

    uint16_t *data_;
    int64_t width_;
    int64_t pixels_;
    int64_t words_;
    uint16_t label_;
    int64_t labelled_ = 0;
    // The stack of waiting words: each word is on it at most once (while it
    // has pending seeds), and the slot above the top is always written: words_ + 1
    // places.
    int64_t waiting_ = 0;
    int64_t touched_ = 0;
};

} // namespace

bool fillRegion(uint16_t *data, int64_t width, int64_t pixels, int64_t start, uint16_t label,
                int64_t *labelled)
{
    WordFill region(data, width, pixels, label);
    bool complete = region.fill(start);
    *labelled = region.labelled();
    return complete;
}

void releaseFillWorkList() { releaseMemory(); }
