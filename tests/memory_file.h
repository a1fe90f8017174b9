// memory_file.h: a file in memory, for the text-mode streams in the tests and fuzz targets.
#pragma once

#include "platform/textmode.h"

#include <algorithm>
#include <string>

namespace qvl::test {

// Reads in small pieces, so that words cross the buffer's refills.
class MemoryFile final : public ByteFile {
  public:
    explicit MemoryFile(std::string bytes, unsigned piece = 7)
        : bytes_(std::move(bytes)), piece_(piece) {}
    long Read(void* data, unsigned size) override {
        if (++reads == failRead)
            return -1;
        std::size_t n =
            std::min<std::size_t>({size, piece_, bytes_.size() - std::min(pos_, bytes_.size())});
        bytes_.copy(static_cast<char*>(data), n, pos_);
        pos_ += n;
        return static_cast<long>(n);
    }
    bool Write(const void* data, unsigned size) override {
        if (failWrite == writes + 1) {
            // A full disk: part of the data lands, then the write fails.
            bytes_.replace(pos_, 0, static_cast<const char*>(data), size / 2);
            ++writes;
            return false;
        }
        bytes_.replace(pos_, std::min<std::size_t>(size, bytes_.size() - pos_),
                       static_cast<const char*>(data), size);
        pos_ += size;
        ++writes;
        return true;
    }
    bool Seek(std::uint64_t offset) override {
        pos_ = failSeek ? pos_ : offset;
        return !failSeek;
    }
    bool SeekToEnd() override {
        pos_ = bytes_.size();
        return true;
    }
    std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }
    bool Truncate() override {
        bytes_.resize(failTruncate ? bytes_.size() : pos_);
        return !failTruncate;
    }
    bool Close() override { return closed = true; }
    const std::string& Bytes() const { return bytes_; }
    bool closed = false;
    int writes = 0;
    int failWrite = 0; // the write that fails, counted from 1
    bool failSeek = false, failTruncate = false;
    int reads = 0, failRead = 0; // the read that fails, counted from 1

  private:
    std::string bytes_;
    std::size_t pos_ = 0;
    std::size_t piece_;
};

} // namespace qvl::test
