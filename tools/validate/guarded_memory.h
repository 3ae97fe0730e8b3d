// Audio buffers whose neighbourhood is checked: inaccessible pages right before or right
// after the frames a module is given (a read or write beyond them faults at once), and
// canary words around output frames (a write beyond them is found afterwards).
#pragma once

#include <cstddef>
#include <deque>
#include <vector>

namespace validate {

// [inaccessible page][usable pages][inaccessible page]
class GuardedRegion {
public:
    explicit GuardedRegion(std::size_t bytes);
    ~GuardedRegion();
    GuardedRegion(const GuardedRegion&) = delete;
    GuardedRegion& operator=(const GuardedRegion&) = delete;
    char* begin() const { return begin_; }
    char* end() const { return end_; }

private:
    char* base_ = nullptr;
    std::size_t length_ = 0;
    char* begin_ = nullptr;
    char* end_ = nullptr;
};

// One guarded region per channel and one for each pointer array, so that reading
// inputs[numInputs] faults too.
class GuardedChannels {
public:
    GuardedChannels(int channels, int maxFrames);
    // Frames placed against the following guard page, or right after the preceding one.
    float** atEnd(int frames);
    float** atStart(int frames);
    int channels() const { return channels_; }

private:
    float** pointers();
    int channels_;
    GuardedRegion pointerRegion_;
    std::deque<GuardedRegion> regions_;
};

// Output frames with canary words on both sides.
class CanaryChannels {
public:
    static constexpr int kPad = 64;
    CanaryChannels(int channels, int frames);
    float** pointers() { return pointers_.data(); }
    // The first damaged canary: channel and offset from the first frame (negative before
    // it, at least `frames` after it); false when every canary is intact.
    bool damaged(int& channel, int& offset) const;

private:
    int frames_;
    std::vector<std::vector<float>> storage_;
    std::vector<float*> pointers_;
};

}  // namespace validate
