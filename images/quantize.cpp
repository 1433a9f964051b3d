#include "images/quantize.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kChannelNone = -1;

// A run of pixels in the working copy with its colour bounds.
struct Box {
    size_t start;
    size_t count;
    uint8_t low[3];
    uint8_t high[3];
    int sortedChannel;
};

uint32_t BoxVolume(const Box& box) {
    uint32_t volume = 1;
    for (int c = 0; c < 3; c++) volume *= uint32_t(box.high[c] - box.low[c] + 1);
    return volume;
}

void BoxBounds(Box& box, const uint8_t* work) {
    const uint8_t* p = work + box.start * 3;
    for (int c = 0; c < 3; c++) box.low[c] = 255, box.high[c] = 0;
    for (size_t i = 0; i < box.count; i++, p += 3) {
        for (int c = 0; c < 3; c++) {
            box.low[c] = std::min(box.low[c], p[c]);
            box.high[c] = std::max(box.high[c], p[c]);
        }
    }
}

// Red only when it strictly beats both others; then green unless blue is at least as wide.
int WidestChannel(const Box& box) {
    int r = box.high[0] - box.low[0], g = box.high[1] - box.low[1], b = box.high[2] - box.low[2];
    if (r > g && r > b) return 0;
    if (b < g) return 1;
    return 2;
}

// Stable counting sort of the box's pixels by one channel, through spare.
void BoxSort(Box& box, int channel, uint8_t* work, uint8_t* spare) {
    size_t offsets[256] = {};
    uint8_t* p = work + box.start * 3;
    for (size_t i = 0; i < box.count; i++) offsets[p[i * 3 + channel]]++;
    size_t total = 0;
    for (size_t& offset : offsets) {
        size_t n = offset;
        offset = total;
        total += n;
    }
    for (size_t i = 0; i < box.count; i++) memcpy(spare + offsets[p[i * 3 + channel]]++ * 3, p + i * 3, 3);
    memcpy(p, spare, box.count * 3);
    box.sortedChannel = channel;
}

void BoxMean(const Box& box, const uint8_t* work, uint8_t* entry) {
    uint64_t sum[3] = {};
    const uint8_t* p = work + box.start * 3;
    for (size_t i = 0; i < box.count; i++, p += 3)
        for (int c = 0; c < 3; c++) sum[c] += p[c];
    for (int c = 0; c < 3; c++) entry[c] = uint8_t(sum[c] / box.count);
}

} // namespace

int MedianCutPalette(const uint8_t* pixels, int width, int height, int stride, uint8_t* palette,
                     int maxColours) {
    if (width <= 0 || height <= 0) return 0;
    maxColours = std::clamp(maxColours, 1, kQuantizeMaxColours);
    size_t count = size_t(width) * size_t(height);
    // The working copy and, behind it, the counting sort's spare run.
    std::vector<uint8_t> work(count * 6);
    for (int y = 0; y < height; y++)
        memcpy(work.data() + size_t(y) * width * 3, pixels + ptrdiff_t(y) * stride, size_t(width) * 3);
    uint8_t* spare = work.data() + count * 3;

    std::vector<Box> boxes;
    boxes.reserve(maxColours);
    boxes.push_back(Box{0, count, {}, {}, kChannelNone});
    BoxBounds(boxes[0], work.data());
    auto byVolume = [](const Box& a, const Box& b) { return BoxVolume(a) < BoxVolume(b); };
    while (int(boxes.size()) < maxColours) {
        Box& box = boxes.back();
        if (BoxVolume(box) <= 1) break;
        int channel = WidestChannel(box);
        if (box.sortedChannel != channel) BoxSort(box, channel, work.data(), spare);
        size_t keep = box.count / 2;
        Box upper{box.start + keep, box.count - keep, {}, {}, box.sortedChannel};
        box.count = keep;
        BoxBounds(box, work.data());
        BoxBounds(upper, work.data());
        boxes.push_back(upper);
        std::stable_sort(boxes.begin(), boxes.end(), byVolume);
    }
    for (size_t i = 0; i < boxes.size(); i++) BoxMean(boxes[i], work.data(), palette + i * 3);
    return int(boxes.size());
}

int NearestColour(const uint8_t* palette, int count, int red, int green, int blue) {
    int best = 0, bestDistance = 1531;
    for (int i = 0; i < count; i++) {
        const uint8_t* e = palette + i * 3;
        int distance = 2 * abs(red - e[0]) + 3 * abs(green - e[1]) + abs(blue - e[2]);
        if (distance < bestDistance) best = i, bestDistance = distance;
    }
    return best;
}

void QuantizeMap(const uint8_t* pixels, int width, int height, int stride, const uint8_t* palette,
                 int count, uint8_t* dst, int dstStride) {
    for (int y = 0; y < height; y++) {
        const uint8_t* s = pixels + ptrdiff_t(y) * stride;
        uint8_t* d = dst + ptrdiff_t(y) * dstStride;
        for (int x = 0; x < width; x++, s += 3) d[x] = uint8_t(NearestColour(palette, count, s[0], s[1], s[2]));
    }
}
