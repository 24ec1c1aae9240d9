#include "tesmora/Backend.h"

#include <mutex>

#include "tesmora/NetworkBackend.h"

namespace Tesmora {

namespace {

struct BackendSlot {
    std::mutex mutex;
    std::shared_ptr<Backend> installed;
};

BackendSlot& BackendSlotOfProcess() {
    static BackendSlot slot;
    return slot;
}

}  // namespace

Backend::~Backend() = default;

std::shared_ptr<Backend> CurrentBackend() {
    {
        BackendSlot& slot = BackendSlotOfProcess();
        std::lock_guard<std::mutex> lock(slot.mutex);
        if (slot.installed) {
            return slot.installed;
        }
    }
    // Built on first use so that a process that installs its own never touches the host.
    static const std::shared_ptr<Backend> default_backend = std::make_shared<NetworkBackend>();
    return default_backend;
}

std::shared_ptr<Backend> SetBackend(std::shared_ptr<Backend> backend) {
    BackendSlot& slot = BackendSlotOfProcess();
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.installed.swap(backend);
    return backend;
}

ScopedBackend::ScopedBackend(std::shared_ptr<Backend> backend)
    : previous_(SetBackend(std::move(backend))) {}

ScopedBackend::~ScopedBackend() {
    SetBackend(std::move(previous_));
}

}  // namespace Tesmora
