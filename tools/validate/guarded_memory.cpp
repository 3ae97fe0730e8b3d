#include "guarded_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace validate {
namespace {

std::size_t pageSize() {
    static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

constexpr std::uint32_t kCanaryBits = 0x7FC0DEADu;  // a quiet NaN no computation produces

}  // namespace

GuardedRegion::GuardedRegion(std::size_t bytes) {
    const std::size_t page = pageSize();
    const std::size_t usable = (bytes + page - 1) / page * page;
    length_ = usable + 2 * page;
    void* base = mmap(nullptr, length_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) std::abort();
    base_ = static_cast<char*>(base);
    begin_ = base_ + page;
    end_ = begin_ + usable;
    if (usable && mprotect(begin_, usable, PROT_READ | PROT_WRITE) != 0) std::abort();
}

GuardedRegion::~GuardedRegion() {
    if (base_) munmap(base_, length_);
}

GuardedChannels::GuardedChannels(int channels, int maxFrames)
    : channels_(channels),
      pointerRegion_(static_cast<std::size_t>(channels > 0 ? channels : 1) * sizeof(float*)) {
    for (int c = 0; c < channels; ++c) regions_.emplace_back(static_cast<std::size_t>(maxFrames) * sizeof(float));
}

float** GuardedChannels::pointers() {
    // The array ends where its page ends: one element further is inaccessible.
    return reinterpret_cast<float**>(pointerRegion_.end()) - channels_;
}

float** GuardedChannels::atEnd(int frames) {
    float** array = pointers();
    for (int c = 0; c < channels_; ++c) array[c] = reinterpret_cast<float*>(regions_[c].end()) - frames;
    return array;
}

float** GuardedChannels::atStart(int frames) {
    (void)frames;
    float** array = pointers();
    for (int c = 0; c < channels_; ++c) array[c] = reinterpret_cast<float*>(regions_[c].begin());
    return array;
}

CanaryChannels::CanaryChannels(int channels, int frames) : frames_(frames) {
    float canary;
    std::memcpy(&canary, &kCanaryBits, sizeof canary);
    for (int c = 0; c < channels; ++c) storage_.emplace_back(static_cast<std::size_t>(frames + 2 * kPad), canary);
    for (auto& channel : storage_) pointers_.push_back(channel.data() + kPad);
    if (pointers_.empty()) pointers_.push_back(nullptr);
}

bool CanaryChannels::damaged(int& channel, int& offset) const {
    for (std::size_t c = 0; c < storage_.size(); ++c) {
        const auto& words = storage_[c];
        for (int i = 0; i < static_cast<int>(words.size()); ++i) {
            if (i >= kPad && i < kPad + frames_) continue;
            std::uint32_t bits;
            std::memcpy(&bits, &words[i], sizeof bits);
            if (bits != kCanaryBits) {
                channel = static_cast<int>(c);
                offset = i - kPad;
                return true;
            }
        }
    }
    return false;
}

}  // namespace validate
