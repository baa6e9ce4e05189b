#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace ixo::test {

// A FIFO at path that no one writes to: opening it for reading in the ordinary way
// waits for a writer. After patience has passed, a writer comes and goes whenever a
// reader waits, so that a program that waited is freed and the test fails instead
// of hanging; ReaderWaited then says so.
class FifoWithoutWriter {
public:
    explicit FifoWithoutWriter(std::string path,
                               std::chrono::milliseconds patience = std::chrono::seconds(10));
    ~FifoWithoutWriter();
    FifoWithoutWriter(const FifoWithoutWriter&) = delete;
    FifoWithoutWriter& operator=(const FifoWithoutWriter&) = delete;

    const std::string& Path() const { return path_; }
    // True once someone had the FIFO open for reading after patience had passed.
    bool ReaderWaited() const { return readerWaited_; }

private:
    std::string path_;
    std::atomic<bool> done_{false};
    std::atomic<bool> readerWaited_{false};
    std::thread freer_;
};

}  // namespace ixo::test
