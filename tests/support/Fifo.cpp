#include "Fifo.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ixo::test {

FifoWithoutWriter::FifoWithoutWriter(std::string path, std::chrono::milliseconds patience)
    : path_(std::move(path)) {
    if (::mkfifo(path_.c_str(), 0666) != 0) ADD_FAILURE() << "cannot make FIFO " << path_;
    freer_ = std::thread([this, patience] {
        const auto start = std::chrono::steady_clock::now();
        while (!done_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (std::chrono::steady_clock::now() - start < patience) continue;
            // Opening for writing without waiting succeeds only while a reader has it open.
            const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                readerWaited_ = true;
                ::close(fd);
            }
        }
    });
}

FifoWithoutWriter::~FifoWithoutWriter() {
    done_ = true;
    freer_.join();
}

}  // namespace ixo::test
