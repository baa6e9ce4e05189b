#include "sim/SimDevice.h"

#include <mutex>

#include "sim/SimDeviceImpl.h"

namespace ixo::sim {

bool SimDevice::Start(std::string* why) {
    Impl& d = *impl_;
    if (d.Server.joinable()) return true;
    if (d.Master < 0 || d.WakeRead < 0) {
        if (why != nullptr) *why = d.OpenFailure.empty() ? "the device has hung up" : d.OpenFailure;
        return false;
    }
    d.Server = std::thread([&d] { d.Serve(); });
    return true;
}

void SimDevice::Stop() {
    Impl& d = *impl_;
    if (!d.Server.joinable()) return;
    {
        std::lock_guard lock(d.Mutex);
        d.Stopping = true;
    }
    d.Wake();
    d.Server.join();
    std::lock_guard lock(d.Mutex);
    d.Stopping = false;
}

std::string SimDevice::DevicePath() const {
    return impl_->Path;
}

void SimDevice::SetFaults(const SimFaults& faults) {
    {
        std::lock_guard lock(impl_->Mutex);
        impl_->Faults = faults;
        impl_->ReceivedSinceFaults = 0;
    }
    impl_->Wake();
}

void SimDevice::SetWord(int address, std::uint32_t word) {
    impl_->Memory.Set(address, word);
}

std::uint32_t SimDevice::Word(int address) const {
    return impl_->Memory.Get(address);
}

std::vector<std::uint8_t> SimDevice::Received() const {
    std::lock_guard lock(impl_->Mutex);
    return impl_->ReceivedBytes;
}

void SimDevice::ClearReceived() {
    std::lock_guard lock(impl_->Mutex);
    impl_->ReceivedBytes.clear();
}

void SimDevice::KeepReceived(bool keep) {
    std::lock_guard lock(impl_->Mutex);
    impl_->KeepReceived = keep;
    if (!keep) std::vector<std::uint8_t>().swap(impl_->ReceivedBytes);
}

bool SimDevice::WaitForReceived(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(impl_->Mutex);
    return impl_->ReceivedGrew.wait_for(lock, limit,
                                        [&] { return impl_->ReceivedBytes.size() >= count; });
}

void SimDevice::SetTrace(std::function<void(TraceDirection, std::uint8_t)> trace) {
    // Only read by the serving thread, which starts after this in Start.
    if (!impl_->Server.joinable()) impl_->Trace = std::move(trace);
}

}  // namespace ixo::sim
