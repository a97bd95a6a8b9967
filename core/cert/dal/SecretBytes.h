#pragma once
// A byte buffer for keys and decrypted depot tables: its content is wiped whenever it is
// shrunk, replaced or destroyed, so no copy of the secret outlives its use.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace zorvan::dal {

// Overwrites memory in a way the compiler may not optimise away.
void WipeBytes(void* data, size_t size);

class SecretBytes {
  public:
    SecretBytes() = default;
    explicit SecretBytes(size_t size) : bytes_(size) {}
    SecretBytes(const uint8_t* data, size_t size) : bytes_(data, data + size) {}
    ~SecretBytes() { Clear(); }

    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
    SecretBytes(SecretBytes&& other) noexcept : bytes_(std::move(other.bytes_)) {
        other.bytes_.clear();
    }
    SecretBytes& operator=(SecretBytes&& other) noexcept {
        if (this != &other) {
            Clear();
            bytes_ = std::move(other.bytes_);
            other.bytes_.clear();
        }
        return *this;
    }

    uint8_t* data() { return bytes_.data(); }
    const uint8_t* data() const { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }

    // Keeps the first `size` bytes; the rest is wiped first.
    void Truncate(size_t size) {
        if (size < bytes_.size()) {
            WipeBytes(bytes_.data() + size, bytes_.size() - size);
            bytes_.resize(size);
        }
    }

    void Clear() {
        WipeBytes(bytes_.data(), bytes_.size());
        bytes_.clear();
    }

  private:
    std::vector<uint8_t> bytes_;
};

}  // namespace zorvan::dal
