#include "BenchLink.h"

namespace ixo::bench {

BenchLink::BenchLink(const sim::SimFaults& faults) {
    device_.SetFaults(faults);
    if (!device_.Start(&why_) || !device_.MapAsPort(1, &why_)) return;
    link_.PortNumber = 1;
    link_.SetBaudRate(WorkingRate);
    if (!link_.Open()) why_ = link_.OpenError();
}

BenchLink::~BenchLink() {
    link_.Close();
    device_.Stop();
}

std::string BenchLink::Why() const {
    return link_.IsOpen() ? std::string() : "set-up: " + why_;
}

}  // namespace ixo::bench
